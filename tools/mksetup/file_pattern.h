// File patterns of a manifest's `files`: the wildcards * ? and [...] in any
// part of a path, matched by mksetup itself so that Linux and Windows take
// the same files in the same order.
#pragma once

#include <string>
#include <vector>

namespace mksetup {

// True when the text holds a wildcard.
bool HasWildcards(const std::string& pattern);

// One part of a path against one part of a pattern (UTF-8). `*` is any run
// of characters, `?` one character, `[abc]`, `[a-z]`, `[!abc]` one of a set
// or not; a name starting with a dot needs a pattern starting with a dot. On
// Windows letters A-Z match ignoring case and `\` separates parts; elsewhere
// `\` makes the next character plain.
bool MatchesPart(const std::string& pattern, const std::string& name);

// The files (not folders) a pattern names, as UTF-8 paths sorted in byte
// order with `/` between the parts.
std::vector<std::string> MatchFilePattern(const std::string& pattern);

} // namespace mksetup
