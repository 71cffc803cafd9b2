// Transport security of an account's POP3 session, shared by the settings and the mail layer.
#pragma once

enum TTLSMode : int { tlsNone = 0, tlsSTLS = 1, tlsPOP3S = 2 };
