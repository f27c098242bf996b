#pragma once

#include <QString>

#include <optional>

namespace tonbrook {

// Every MP3 Tonbrook writes carries a user text frame (ID3v2 TXXX) with this description and
// the source file's name as its value. A file at a destination without it was made by someone
// else and is never replaced. A frame rather than the comment, which the user may edit.
inline constexpr char sourceMarkDescription[] = "TONBROOK_SOURCE";

// The value of the mark in the ID3v2 tag at the start of the file at path; nullopt when the
// file cannot be read or carries no mark. Reads only the tag's header and frame headers (and
// the body of user text frames), so a large picture costs nothing.
std::optional<QString> readSourceMark(const QString &path);

// Whether something is at path that Tonbrook did not write: a file (or folder) without the
// mark. False when nothing is there.
bool isForeignFile(const QString &path);

} // namespace tonbrook
