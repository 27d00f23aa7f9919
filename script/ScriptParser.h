#pragma once
// The statement parser is RobotModelData::ParseScriptLine (its body lives in
// ScriptParser.cpp). Files that statements name ("LoadXFile") are found in
// the folder the loaders set for the calling thread.
#include <string>

#include <cstddef>

// The statement keywords the parser knows, in the order it tries them; null
// past the last (for tools and tests that write statements).
const char* ScriptKeyword(size_t i);

// Set by the script file loaders for the thread they run on; empty means the
// current directory.
void SetScriptFolder(const std::string& folder);
