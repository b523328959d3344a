// A growable, seekable, reference-counted stream over memory.
#include <cstring>
#include <limits>
#include <vector>

#include "DVImageCodecs.h"

namespace dv {
namespace {

class MemoryStream final : public IStream {
  public:
    uint32_t AddRef() override { return ++refs_; }

    uint32_t Release() override {
        const uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    int32_t Read(void* buffer, uint32_t count, uint32_t* read) override {
        if (!buffer && count > 0) return 2;
        const uint64_t avail = position_ < data_.size() ? data_.size() - position_ : 0;
        const uint32_t n = uint32_t(count < avail ? count : avail);
        if (n > 0) std::memcpy(buffer, data_.data() + position_, n);
        position_ += n;
        if (read) *read = n;
        return n == count ? 0 : 1;
    }

    int32_t Write(const void* data, uint32_t count, uint32_t* written) override {
        if (written) *written = 0;
        if (!data && count > 0) return 2;
        // Sizes are reported as 32-bit values; the stream does not grow past them.
        if (position_ + count > std::numeric_limits<uint32_t>::max()) return 3;
        if (position_ + count > data_.size()) data_.resize(position_ + count);
        if (count > 0) std::memcpy(data_.data() + position_, data, count);
        position_ += count;
        if (written) *written = count;
        return 0;
    }

    int32_t Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override {
        int64_t base = 0;
        switch (origin) {
            case SeekSet:
                base = 0;
                break;
            case SeekCur:
                base = int64_t(position_);
                break;
            case SeekEnd:
                base = int64_t(data_.size());
                break;
            default:
                return 2;
        }
        if ((move < 0 && base + move < 0) ||
            (move > 0 && move > std::numeric_limits<int64_t>::max() - base)) {
            return 2;
        }
        position_ = uint64_t(base + move);
        if (newPosition) *newPosition = position_;
        return 0;
    }

    int32_t Stat(StatStg* stat, uint32_t) override {
        if (!stat) return 2;
        stat->cbSize = data_.size();
        return 0;
    }

  private:
    ~MemoryStream() override = default;

    uint32_t refs_ = 1;
    uint64_t position_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace

int32_t CreateMemoryStream(IStream** stream) {
    if (!stream) return 2;
    *stream = new MemoryStream();
    return 0;
}

}  // namespace dv
