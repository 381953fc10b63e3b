#pragma once
// Path and string helpers shared by the core and the window. On Linux only
// "/" separates: a backslash is an ordinary character of a file name (a
// project directory or VARNELDIR may hold one). Text from Windows-born data
// (stored source paths, Visual C++ paths, the runtime text) is turned into a
// path with toSlashes() where it is read, before it meets these helpers.

#include "kvutil/KVUtil.h"

namespace Brask {

using KVUtil::String;
using KVUtil::Vector;

// The process's current directory (no trailing separator except for "/").
String currentDirectory();

// Copy with every "/" replaced by a backslash.
String toBackslashes(const String& path);

// Copy with every backslash replaced by "/": the form in which a stored path
// (project file, Visual C++ project, runtime text) reaches the file system.
String toSlashes(const String& path);

// Path from `base` (a directory) to `path` (a file), "./x" below the base and
// "../x" beside it. Empty when either is empty.
String relativePath(const String& base, const String& path);

// Absolute, lexically normalised form of `path` without its final file-name
// component; keeps a trailing "/". A relative path is resolved against the
// current directory.
String absoluteDirectory(const String& path);

// Final file-name component of the absolute form of `path`; empty for an empty
// path or one that ends with a separator.
String fileNamePart(const String& path);

// Appends to `out` the pieces of `text` between occurrences of `separator`
// (empty pieces kept). An empty separator gives the whole text as one piece.
void split(const String& text, const String& separator, Vector<String>& out);
Vector<String> split(const String& text, const String& separator);

String join(const Vector<String>& list, const String& separator);

// Value of an environment variable, empty when unset.
String getEnv(const String& name);

// Upper-cases every byte in the C locale.
String toUpper(const String& text);

bool startsWith(const String& prefix, const String& text);

// Text to integer as the kit does everywhere: strtoul in base 10, taken as a
// signed 32-bit value (so "-5" gives -5 and "abc" gives 0).
int toInt(const String& text);

// Boolean property text: true for exactly "true" or "1".
bool isTrue(const String& text);

bool fileExists(const String& path);
bool isDirectory(const String& path);

// Quotes an argument for a composed command line when it holds a blank or a
// double quote; text without them is returned unchanged, so lines without
// such paths stay exactly as designed.
String quoteArgument(const String& arg);

} // namespace Brask
