#!/usr/bin/env python3
"""A browser for sign-in tests: opens the URL it is given, follows the authorization server's
redirect to the loopback listener as a browser would (asking for a favicon there first), and
appends the listener's answers to $QB_BROWSER_LOG. With QB_BROWSER_STATE set it sends that
state instead of the one it was given, as a forged answer would."""

import http.client
import os
import sys
import urllib.parse


def get(url):
    parts = urllib.parse.urlsplit(url)
    target = parts.path + ("?" + parts.query if parts.query else "")
    connection = http.client.HTTPConnection(parts.hostname, parts.port, timeout=20)
    connection.request("GET", target)
    response = connection.getresponse()
    answer = (response.status, response.getheader("Location"), response.read())
    connection.close()
    return answer


def main():
    status, location, _ = get(sys.argv[1])
    if status != 302 or not location:
        return 1
    redirect = urllib.parse.urlsplit(location)
    query = urllib.parse.parse_qsl(redirect.query, keep_blank_values=True)
    forged = os.environ.get("QB_BROWSER_STATE")
    if forged:
        query = [(name, forged if name == "state" else value) for name, value in query]
    log = open(os.environ.get("QB_BROWSER_LOG", os.devnull), "a", encoding="utf-8")
    base = "%s://%s" % (redirect.scheme, redirect.netloc)
    for url in (base + "/favicon.ico", base + redirect.path + "?" + urllib.parse.urlencode(query)):
        status, _, body = get(url)
        log.write("%d %s\n" % (status, body.decode("utf-8", "replace")))
    return 0


if __name__ == "__main__":
    sys.exit(main())
