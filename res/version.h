// The product's version: the agent's version block (lang/neutral.rc) and the
// setup program's name both come from here. CMake reads these lines with a
// regular expression, so keep each a plain #define of a number or a string.
#pragma once

#define PERIMAND_VERSION_MAJOR 2
#define PERIMAND_VERSION_MINOR 0
#define PERIMAND_VERSION_PATCH 0
#define PERIMAND_VERSION_BUILD 1
// The same four numbers, dotted (CMake refuses to configure if they differ).
#define PERIMAND_VERSION_STRING "2.0.0.1"
