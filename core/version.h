#pragma once
// The program's version, as the build names it.
namespace qv {

const char* ProgramVersion();

}  // namespace qv
