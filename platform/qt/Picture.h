// The picture box's picture on Linux: a file decoded by Qt's image readers,
// chosen by its contents (win32/Picture.h is the same on WIC).
#pragma once

#include <QImage>

#include <string>

namespace zb::qt {

// Decodes the picture file at `path` (a native path). Throws Failure: the
// file's open error as for every file (File not found, 53, when it is
// missing), Path/File access error (75) for a folder or another file that is
// no regular file, Invalid picture (481) for a file that is no picture or is
// cut short. Pictures larger than 2048 pixels a side come back scaled down.
QImage DecodePicture(const std::string& path);

}  // namespace zb::qt
