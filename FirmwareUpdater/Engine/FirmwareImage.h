#pragma once

#include "ObjectBase/Result.h"
#include "Utilities/Storage/Array.h"
#include "Utilities/Storage/File.h"
#include "Utilities/Storage/StringT.h"

#include <cstdint>

// The folder (empty for the root) and the file name of an image's path,
// split at the last separator (File::FindLastSeparator), so the file named is
// the file read. False without a folder or a name.
bool SplitImagePath(const Tavo::WString& path, Tavo::WString& folder, Tavo::WString& name);

// Reads the whole firmware image at the path. E_FAIL when the path has no
// folder or no file name, names no regular file (never waited for: a FIFO
// without a writer is refused at once), the file cannot be opened or read to
// its length, or it is empty: each is a file-access failure, never a partial
// image.
TavoResult ReadFirmwareImage(const Tavo::WString& path, Tavo::Array<uint8_t>& image);

// The one judgement of a usable image, for a status run, the window and the
// transfer alike: what ReadFirmwareImage would read, short of reading it.
// The path has a folder and a name, and names a regular file (nothing else
// is opened) that opens for reading and holds 1 byte to 4 GiB less one.
// Two ways of failing are told apart, since the user cannot guess them:
// something other than a file at the path, and a file too long for the
// transfer's 32-bit lengths. Every other (nothing there, no folder, not
// readable, empty) is kOther.
enum class ImageVerdict { kUsable, kNotAFile, kTooLarge, kOther };
ImageVerdict JudgeFirmwareImage(const Tavo::WString& path);
bool IsUsableFirmwareImage(const Tavo::WString& path);

// Reads an opened file whole into the image. False on any error or
// shortfall, for an empty file and for one too long for 32-bit lengths;
// never throws.
bool ReadWholeFile(Tavo::File& file, Tavo::Array<uint8_t>& image);
