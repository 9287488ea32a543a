// The names of the files one installation run installs: the [File] entries
// of the change list as the reader returns them (bare names, trimmed,
// upper-cased), in change-list order, a name listed twice present twice.
#pragma once

#include <list>
#include <string>

using FileList = std::list<std::string>;
