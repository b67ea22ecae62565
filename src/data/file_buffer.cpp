#include "data/file_buffer.h"

#include <new>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#endif

namespace {

// Below this, ordinary allocation is as good.
constexpr qsizetype LargeBuffer = 4 * 1024 * 1024;

} // namespace

FileBuffer::FileBuffer(qsizetype size) : size_(size) {
    if (size <= 0) {
        size_ = 0;
        return;
    }
#ifdef Q_OS_LINUX
    if (size >= LargeBuffer) {
        void* memory = mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (memory != MAP_FAILED) {
            madvise(memory, static_cast<size_t>(size), MADV_HUGEPAGE);
            data_ = static_cast<char*>(memory);
            mapped_ = static_cast<size_t>(size);
            return;
        }
    }
#endif
    data_ = new (std::nothrow) char[static_cast<size_t>(size)];
    if (!data_) // the caller sees a buffer smaller than it asked for
        size_ = 0;
}

FileBuffer::~FileBuffer() {
    release();
}

FileBuffer::FileBuffer(FileBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

FileBuffer& FileBuffer::operator=(FileBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void FileBuffer::release() {
#ifdef Q_OS_LINUX
    if (mapped_) {
        munmap(data_, mapped_);
        data_ = nullptr;
        mapped_ = 0;
        return;
    }
#endif
    delete[] data_;
    data_ = nullptr;
}
