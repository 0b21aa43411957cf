#pragma once

#include <string>
#include <string_view>

// `text` as the inside of a JSON string: quotes, backslashes and control characters escaped.
std::string jsonEscaped(std::string_view text);
