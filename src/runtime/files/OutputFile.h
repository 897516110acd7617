#pragma once

// A file written by atomic replacement, or standard output. Writes to a file go to a temporary
// file beside it (QSaveFile); commit() puts it in the file's place. Destroying an uncommitted
// output removes the temporary file, whatever went wrong before, so a failed run never touches
// what was there. A device or a named pipe is written to directly, like standard output: it
// cannot be replaced.

#include <QString>
#include <QtGlobal>
#include <memory>
#include <string_view>

class QByteArray;
class QSaveFile;

namespace plaintrove::runtime {

class OutputFile
{
public:
    // Prepares the replacement of `path`; a symbolic link is followed, so its target is replaced.
    explicit OutputFile(const QString &path);
    // Taken as open: a closed one is held open on /dev/null at start-up, so writing it fails.
    static OutputFile standardOutput();

    OutputFile(OutputFile &&) = delete;
    OutputFile &operator=(OutputFile &&) = delete;
    ~OutputFile();

    bool isOpen() const { return m_file != nullptr || m_fd >= 0; }
    // The descriptor written to: the temporary file, or the file written in place.
    int descriptor() const;
    const QString &path() const { return m_path; }
    const QString &errorString() const { return m_error; }

    // Writes all of `bytes`; false on a failure (see errorString()), which gives the output up.
    bool write(std::string_view bytes);
    // Replaces the file with what was written. False on a failure, after which the temporary
    // file is gone and the old file is unchanged.
    bool commit();

private:
    OutputFile(int fd, QString path);
    void openDirectly(const QByteArray &nativePath);
    void startWriteBack(qint64 written);
    void fail(QString reason);

    std::unique_ptr<QSaveFile> m_file; // null when written directly, and once finished
    int m_fd = -1; // the descriptor written directly (standard output, a device, a pipe)
    bool m_ownsDescriptor = false;
    qint64 m_syncedUpTo = 0; // bytes of the temporary file already sent on their way to the disk
    qint64 m_unsynced = 0;
    QString m_path;
    QString m_error;
};

} // namespace plaintrove::runtime
