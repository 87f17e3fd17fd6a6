#pragma once

#include <string>

#include "syntax_tree.h"

namespace divu {

// A debug dump of the tree under `root`: one line "Kind start..end" per node
// (the record name and its range), indented by two spaces per level, parents
// before children and children in field order (see for_each_child). Parser
// golden files compare against it. Built without recursion: any depth is
// dumped in constant native stack, though the text of a very deep tree grows
// with the square of its depth because of the indentation.
std::string dump_tree(const Node& root);

}  // namespace divu
