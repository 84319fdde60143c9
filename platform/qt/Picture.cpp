#include "platform/qt/Picture.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QFile>
#include <QImageReader>

#include <cerrno>

#include "platform/Failure.h"
#include "platform/posix/Errors.h"
#include "platform/posix/FileIo.h"

namespace zb::qt {
namespace {

// Larger pictures are decoded scaled down to this many pixels per side: the
// picture box is never that big, and memory stays bounded.
constexpr int kMaxDecodedSide = 2048;
// Enough for a 10000 by 10000 picture in formats that cannot decode scaled.
constexpr int kImageAllocationLimitMb = 512;

// Qt's JPEG reader fills a truncated file with grey and only warns; the
// warning is the one sign that the picture is incomplete. The decoders'
// messages are not shown: the failure report says what went wrong.
bool gDecodeTruncated = false;

void WatchDecodeMessages(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (text.contains(QStringLiteral("premature end"), Qt::CaseInsensitive))
        gDecodeTruncated = true;
}

// The format that the file's first bytes announce, for the common formats;
// empty for any other. Naming it spares Qt loading every other decoder to ask
// it about the contents.
QByteArray FormatBySignature(QIODevice& file) {
    static const struct {
        const char* signature;
        const char* format;
    } kSignatures[] = {
        {"\xFF\xD8\xFF", "jpeg"},
        {"\x89PNG\r\n\x1A\n", "png"},
        {"GIF87a", "gif"},
        {"GIF89a", "gif"},
        {"BM", "bmp"},
    };
    const QByteArray head = file.peek(8);
    for (const auto& known : kSignatures) {
        if (head.startsWith(known.signature))
            return known.format;
    }
    return {};
}

}  // namespace

QImage DecodePicture(const std::string& path) {
    // O_NONBLOCK: a FIFO must not wait for a writer; its type is checked on
    // the open descriptor.
    posix::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        throw posix::PathFailure(errno, kErrFileNotFound, path);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw MakeFailure(kErrPathFileAccess, path);
    QFile file;
    file.open(fd.Release(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);

    QImageReader::setAllocationLimit(kImageAllocationLimitMb);
    QImageReader reader(&file);
    // The contents decide, as the classic picture loader did, not the name:
    // the format the first bytes announce, else whichever decoder takes it.
    const QByteArray format = FormatBySignature(file);
    if (format.isEmpty()) {
        reader.setDecideFormatFromContent(true);
    } else {
        reader.setFormat(format);
        reader.setAutoDetectImageFormat(false);
    }
    reader.setAutoTransform(false);
    if (!reader.canRead())
        throw MakeFailure(kErrInvalidPicture, path);
    const QSize size = reader.size();
    if (size.width() > kMaxDecodedSide || size.height() > kMaxDecodedSide) {
        QSize scaled = size.scaled(kMaxDecodedSide, kMaxDecodedSide, Qt::KeepAspectRatio);
        reader.setScaledSize(scaled.expandedTo(QSize(1, 1)));
    }

    gDecodeTruncated = false;
    QtMessageHandler previousHandler = qInstallMessageHandler(WatchDecodeMessages);
    QImage image = reader.read();
    qInstallMessageHandler(previousHandler);
    if (image.isNull() || gDecodeTruncated)
        throw MakeFailure(kErrInvalidPicture, path);
    return image;
}

}  // namespace zb::qt
