// A copy of some bytes that ends exactly where an inaccessible page begins:
// any read or write past the end faults at once instead of passing unseen.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace scx::test {

class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::vector<uint8_t>& bytes) : size_(bytes.size())
    {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        dataPages_ = (size_ + page_ - 1) / page_;
        if (dataPages_ == 0)
            dataPages_ = 1;
        base_ = static_cast<uint8_t*>(
            VirtualAlloc(nullptr, (dataPages_ + 1) * page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!base_)
            return;
        DWORD old;
        VirtualProtect(base_ + dataPages_ * page_, page_, PAGE_NOACCESS, &old);
        data_ = base_ + dataPages_ * page_ - size_;
        if (size_)
            memcpy(data_, bytes.data(), size_);
    }
    ~GuardedBuffer()
    {
        if (base_)
            VirtualFree(base_, 0, MEM_RELEASE);
    }
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    size_t page_ = 4096;
    size_t dataPages_ = 0;
    uint8_t* base_ = nullptr;
    uint8_t* data_ = nullptr;
};

} // namespace scx::test
