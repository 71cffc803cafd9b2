// The program's one web address, named by the about box and the read window alike.
#pragma once

inline constexpr const char* HomePage = "https://quillbar.example.org/";
