#pragma once
// The system's proxy for one URL, through libproxy when the build has it (environment
// variables, GNOME and KDE settings, PAC scripts, as its installed modules allow).

#include <string>

// True with the proxy URL that libcurl takes ("http://host:port", "socks5h://host:port"),
// or "" for a direct connection. False when the build has no libproxy or libproxy gave no
// answer: libcurl's own handling of the proxy environment variables then applies.
bool ResolveSystemProxy(const std::string& url, std::string& proxy);

// True when the build uses libproxy.
bool HasSystemProxyResolver();
