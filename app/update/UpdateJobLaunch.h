#pragma once

// Starting the update job process. The program runs elevated, and so does what it starts: the executable is
// opened without following links and held open, denying writes and deletion, from the check that it is a
// plain file at exactly its path until CreateProcessW has started it, so nothing can be put in its place in
// between. The job inherits exactly the handles it is given, nothing else of the program's.

#include "win/Handle.h"

#include <windows.h>

#include <initializer_list>
#include <string>

// The executable at program (a full path), open for reading and execution and shared for reading only, once
// it is a plain file at exactly that path: it cannot be changed, renamed or deleted while the handle is held.
// None, with why set, otherwise.
[[nodiscard]] UniqueFileHandle PinUpdateJobProgram(const std::wstring& program, std::wstring* why);

// Starts program (a full path) with arguments, output as its standard output and inherited (which must be
// inheritable, output among them) as the only handles it inherits, with the program's folder as its current
// folder. The new process's handle, or none with why set.
[[nodiscard]] UniqueHandle StartUpdateJob(const std::wstring& program, const std::wstring& arguments,
                                          HANDLE output, std::initializer_list<HANDLE> inherited,
                                          std::wstring* why);
