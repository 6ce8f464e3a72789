// The built-in dialects: PascalScript, C++Script, BasicScript, JScript.
#pragma once

namespace ovx {

// Registers the four built-in grammars (again: replaces them). Called once
// at start-up by the program and by tools and tests that compile scripts.
void RegisterScriptLanguages();

}  // namespace ovx
