#include "tests/profile/gif_reader.h"

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace gif {
namespace {

class Cursor {
  public:
    explicit Cursor(const std::string& bytes) : bytes_(bytes) {}

    uint8_t byte() {
        if (pos_ >= bytes_.size()) {
            throw std::runtime_error("file ends inside a block");
        }
        return static_cast<uint8_t>(bytes_[pos_++]);
    }
    int le16() {
        const int low = byte();
        return low | (byte() << 8);
    }
    void skip(size_t count) {
        if (bytes_.size() - pos_ < count) {
            throw std::runtime_error("file ends inside a block");
        }
        pos_ += count;
    }
    // Data sub-blocks up to the zero-length terminator, concatenated.
    std::vector<uint8_t> sub_blocks() {
        std::vector<uint8_t> data;
        for (uint8_t length = byte(); length != 0; length = byte()) {
            for (int i = 0; i < length; ++i) {
                data.push_back(byte());
            }
        }
        return data;
    }
    bool at_end() const { return pos_ == bytes_.size(); }

  private:
    const std::string& bytes_;
    size_t pos_ = 0;
};

// Decodes one frame's LZW stream and returns the number of pixels it gives.
// Every pixel must name an entry of a colour table of `colours` entries.
long decode_lzw(const std::vector<uint8_t>& data, int min_code_size, int colours) {
    if (min_code_size < 2 || min_code_size > 8) {
        throw std::runtime_error("LZW minimum code size out of range");
    }
    const int clear = 1 << min_code_size;
    const int end = clear + 1;
    std::vector<int> prefix(4096, -1);
    std::vector<int> suffix(4096, 0);
    std::vector<int> length(4096, 1);
    for (int i = 0; i < clear; ++i) {
        suffix[i] = i;
    }
    int code_size = min_code_size + 1;
    int next = end + 1;
    int previous = -1;
    size_t bit = 0;
    long pixels = 0;
    auto first_of = [&](int code) {
        while (prefix[code] >= 0) {
            code = prefix[code];
        }
        return suffix[code];
    };
    for (;;) {
        if (bit + code_size > data.size() * 8) {
            throw std::runtime_error("LZW data ends without an end code");
        }
        int code = 0;
        for (int i = 0; i < code_size; ++i, ++bit) {
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        }
        if (code == clear) {
            code_size = min_code_size + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end) {
            return pixels;
        }
        if (previous < 0) {
            if (code > clear) {
                throw std::runtime_error("LZW code before any table entry");
            }
        } else {
            if (code > next) {
                throw std::runtime_error("LZW code beyond the table");
            }
            if (next < 4096) {
                prefix[next] = previous;
                suffix[next] = first_of(code == next ? previous : code);
                length[next] = length[previous] + 1;
                ++next;
            }
        }
        for (int c = code; c >= 0; c = prefix[c]) {
            if (suffix[c] >= colours) {
                throw std::runtime_error("pixel outside the colour table");
            }
        }
        pixels += length[code];
        previous = code;
        if (next == (1 << code_size) && code_size < 12) {
            ++code_size;
        }
    }
}

}  // namespace

Info read(const std::string& bytes) {
    Info info;
    Cursor in(bytes);
    for (int i = 0; i < 6; ++i) {
        info.version += static_cast<char>(in.byte());
    }
    if (info.version != "GIF87a" && info.version != "GIF89a") {
        throw std::runtime_error("no GIF signature");
    }
    info.width = in.le16();
    info.height = in.le16();
    const uint8_t flags = in.byte();
    in.skip(2);  // background colour, aspect ratio
    int global_colours = 0;
    if (flags & 0x80) {
        global_colours = 2 << (flags & 0x07);
        in.skip(3 * global_colours);
    }
    for (;;) {
        const uint8_t block = in.byte();
        if (block == 0x3B) {
            break;
        }
        if (block == 0x21) {
            in.byte();  // extension label
            in.sub_blocks();
            continue;
        }
        if (block != 0x2C) {
            throw std::runtime_error("unknown block");
        }
        const int left = in.le16();
        const int top = in.le16();
        const int width = in.le16();
        const int height = in.le16();
        const uint8_t image_flags = in.byte();
        if (left + width > info.width || top + height > info.height) {
            throw std::runtime_error("frame outside the logical screen");
        }
        int colours = global_colours;
        if (image_flags & 0x80) {
            colours = 2 << (image_flags & 0x07);
            in.skip(3 * colours);
        }
        if (colours == 0) {
            throw std::runtime_error("frame without a colour table");
        }
        const int min_code_size = in.byte();
        if (decode_lzw(in.sub_blocks(), min_code_size, colours) != long{width} * height) {
            throw std::runtime_error("frame's pixel count differs from its size");
        }
        ++info.frames;
    }
    if (!in.at_end()) {
        throw std::runtime_error("bytes after the trailer");
    }
    if (info.frames == 0) {
        throw std::runtime_error("no frame");
    }
    return info;
}

}  // namespace gif
