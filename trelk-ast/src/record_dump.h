#pragma once

#include <string>

#include "ast_types.h"

// A stable text form of extracted records, one fact a line, for developer
// tools and tests. Locations are written "L:C-L:C" (0-based lines and
// characters), an absent one "-"; texts that may hold any character are
// quoted; maps follow their keys' order. URIs are left out: they are the same
// for every location of a file.
namespace trelk {

[[nodiscard]] std::string dump_location(const Location& location);
[[nodiscard]] std::string dump_location(
    const std::optional<Location>& location);

[[nodiscard]] std::string dump_function(const ResolverAST& function);
[[nodiscard]] std::string dump_feature_class(const FeatureClassAST& cls);

// The feature classes, then the functions, then the names of the resolvers.
[[nodiscard]] std::string dump_parsed_ast_file(const ParsedAstFile& file);

}  // namespace trelk
