#pragma once

#include "show/show_context.h"
#include "show/show_reader.h"

#include <string>

namespace qv {

// The show file's name from the executable's path (argument 0): the upper-cased path up
// to and including the dot of the first ".EXE" (else the first ".SCR"), plus "QDM";
// under "/DEMO" it is argument 2, upper-cased, as it stands.
std::string ShowFileName(const std::string& arg0, const std::string& arg1, const std::string& arg2);

// The show file this run plays: under "/DEMO" argument 2 as above; otherwise the --show
// file when one was given (as a Windows path, upper-cased like the derived name); else the
// name derived from the executable's path.
std::string ShowFileNameOf(const Platform& os);

// ShowDir and ShowBaseName from the show file's name: the directory up to and including
// the last separator ("\\" or "/"), and the name after it up to the first ".QDM".
void ComputeShowNames(const std::string& fileName, ShowRecord& show);

// Reads header fields 1 to 30 into the record, cutting the limited text fields and
// applying the loader's two adjustments (banner padding, default banner font). Extra-file
// entries beyond the record's two are read and discarded.
void ReadShowHeader(ShowReader& reader, ShowRecord& show);

// LoadShow: seeds the random generator, opens the show file (read/write, else read-only),
// fills the show record and leaves the file open at the style's parameter block. On
// failure Run.ShowFile is negative and the record is untouched.
void LoadShow(ShowContext& ctx);
// CloseShow: closes Run.ShowFile; the handle value is left as it was.
void CloseShow(ShowContext& ctx);

// The two reads on the open show file; with no file open they read as past the end.
int32_t ReadInt(ShowContext& ctx);
std::string ReadStr(ShowContext& ctx);

} // namespace qv
