// The program's argument text, taken from the whole command line as Windows
// keeps it, so that it does not depend on how the C runtime splits words.
#pragma once

// What follows the program's name in `commandLine`: right after the closing
// quote of a quoted name, or from the first blank or tab after an unquoted
// one, with the blanks and tabs there skipped. Points into commandLine.
const char* ArgumentText(const char* commandLine);
