#pragma once

#include <string>
#include <string_view>

namespace trelk {

// The dotted module name of the file at `path` in the project rooted at
// `project_root`. Below the root, the names of the components are joined by
// "."; each name ending in ".py" loses that ending and is left out when what
// remains is "__init__", so a package's __init__.py names the package. ".."
// and "." components are skipped, not resolved. A path outside the root, one
// that leaves no part (the root itself, the root's __init__.py) or one whose
// parts are not UTF-8 is named by its file stem, or by the whole path shown
// with U+FFFD for bytes that are not UTF-8 when it has no final name or the
// stem is not UTF-8. The root is compared component by component: "/r" and
// "/r/" are one root, and "/r" is not a prefix of "/rs/a.py". Never fails.
[[nodiscard]] std::string module_name_for_absolute_path(
    std::string_view path, std::string_view project_root);

}  // namespace trelk
