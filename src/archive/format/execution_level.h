// The execution level a program's application manifest (resource
// RT_MANIFEST, id 1) asks Windows for. The stub asks for
// level="requireAdministrator"; a per-user product's program asks for
// "asInvoker". The builder rewrites the attribute in place, filling what the
// shorter value leaves with blanks behind its closing quote (XML allows
// blanks between attributes), so that no offset, size or other byte of the
// image moves: the same stub and level give the same bytes, and a signature
// made afterwards covers the edited image as it covers any other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

enum class ExecutionLevel { AsInvoker, RequireAdministrator };

const char* ExecutionLevelName(ExecutionLevel level);

// The level the manifest of the image asks for ("asInvoker", ...). False
// with an English reason when the image has no manifest or it names no level.
bool ReadExecutionLevel(const std::vector<uint8_t>& image, std::string& level, std::string& error);

// Makes the manifest of the image ask for `level`, in place, and updates the
// header checksum when the linker set one. False with an English reason, the
// image unchanged, when the image has no manifest with exactly one
// requestedExecutionLevel element or its attribute has no room for the value.
bool SetExecutionLevel(std::vector<uint8_t>& image, ExecutionLevel level, std::string& error);

} // namespace archive
