// Bytes read from an input, made safe to quote in a message.
#pragma once

#include <string>
#include <string_view>

// The text as a message shows it: no trailing '\r', a blank for each tab, \xNN for every other
// byte outside printable ASCII (binary input must not reach the terminal), and, when longer than
// about 80 characters, cut with "...".
std::string printable(std::string_view text);
