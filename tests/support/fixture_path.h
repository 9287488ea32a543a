// The version-resource fixtures the build places in a "fixtures" folder
// beside each test executable that uses them.
#pragma once

#include <string>

// Full path of fixture name in that folder; whether it exists is not checked.
std::string FixturePath(const std::string& name);
