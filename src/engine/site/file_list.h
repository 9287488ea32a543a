// The names of the files one installation run installs: the [File] entries
// of the change list as the reader returns them (bare names, trimmed,
// upper-cased), in change-list order, a name listed twice present twice.
//
// A deque: names are only ever appended and walked in order, and it keeps
// them in blocks, without a node and two links per name, nor the moment of a
// growing vector when the old and the new array are both held. A list of a
// million names then costs about half what a linked list would.
#pragma once

#include <deque>
#include <string>

using FileList = std::deque<std::string>;
