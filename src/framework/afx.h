// The framework's non-window part: strings, exceptions, files, file search.
#pragma once

#include "framework/exception.h"
#include "framework/file.h"
#include "framework/file_find.h"
#include "framework/format.h"
