#pragma once
// Standard Base64 (RFC 4648 alphabet with '+' and '/', '=' padding, no line breaks).

#include <string>

std::string Base64Encode(const std::string& bytes);
