#include "app/owner_socket.h"

namespace velmora {

namespace {

class NoOwnerSocket final : public OwnerSocket {
public:
    bool start(const std::string&, std::string* why) override {
        if (why) *why = "this build has no control socket";
        return false;
    }
    void stop() override {}
    std::string path() const override { return {}; }
};

}  // namespace

std::unique_ptr<OwnerSocket> makeOwnerSocket(UiDispatcher&, UnitService&) { return std::make_unique<NoOwnerSocket>(); }

}  // namespace velmora
