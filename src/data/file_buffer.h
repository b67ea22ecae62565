#pragma once

#include <QByteArrayView>
#include <QtGlobal>

// The bytes of a whole file. A large buffer is allocated with the advice to back it with huge
// pages where the system has them: filling 30 MB a 4 KiB page fault at a time costs far more
// than reading the bytes themselves.
class FileBuffer {
public:
    FileBuffer() = default;
    explicit FileBuffer(qsizetype size);
    ~FileBuffer();
    FileBuffer(FileBuffer&& other) noexcept;
    FileBuffer& operator=(FileBuffer&& other) noexcept;
    FileBuffer(const FileBuffer&) = delete;
    FileBuffer& operator=(const FileBuffer&) = delete;

    char* data() { return data_; }
    const char* data() const { return data_; }
    qsizetype size() const { return size_; }
    bool isEmpty() const { return size_ == 0; }
    QByteArrayView view() const { return QByteArrayView(data_, size_); }
    // Keeps only the first `size` bytes (after a short read).
    void truncate(qsizetype size) { size_ = qMin(size, size_); }

private:
    void release();

    char* data_ = nullptr;
    qsizetype size_ = 0;
    size_t mapped_ = 0; // the length of an mmap'd buffer, or 0 for one from new[]
};
