#pragma once
#include <map>
#include <string>

// Samples of a Prometheus text exposition: "name{labels}" -> value.
using Samples = std::map<std::string, double>;
Samples ParseExposition(const std::string& text);
