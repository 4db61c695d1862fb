#include "link/line_assembler.h"

namespace velmora {

namespace {
constexpr unsigned char kBackspace = 8;
}

bool LineAssembler::feed(unsigned char byte, bool rawMode) {
    completed_ = 0;
    if (rawMode) {
        if (byte == kBackspace || byte == '\n') return endLine();
    } else {
        switch (byte) {
            case '>':
            case '\n':
            case '\r':
            case '\\':
            case '!':
                return endLine();
            case '/':
                count_ = 0;
                return false;
            default:
                break;
        }
    }
    // Past the 51st character the rest of the line is dropped.
    if (count_ < kMaxLineLength) buffer_[count_++] = static_cast<char>(byte);
    return false;
}

bool LineAssembler::endLine() {
    if (count_ == 0) return false;
    buffer_[count_] = '\0';
    completed_ = count_;
    count_ = 0;
    return true;
}

void LineAssembler::reset() {
    count_ = 0;
    completed_ = 0;
}

}  // namespace velmora
