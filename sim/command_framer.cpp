#include "sim/command_framer.h"

namespace velmora::sim {

std::optional<std::string> CommandFramer::push(unsigned char c) {
    if (c == '/') {
        body_.clear();
        inCommand_ = true;
        return std::nullopt;
    }
    if (!inCommand_) return std::nullopt;
    if (c == '\\') {
        inCommand_ = false;
        std::string done;
        done.swap(body_);
        return done;
    }
    if (body_.size() >= kMaxBody) {
        // Too long to be anything the unit knows: drop it, never grow.
        reset();
        return std::nullopt;
    }
    body_.push_back(static_cast<char>(c));
    return std::nullopt;
}

void CommandFramer::reset() {
    body_.clear();
    inCommand_ = false;
}

}  // namespace velmora::sim
