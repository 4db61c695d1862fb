#include "app/owner_socket.h"

#include "service/control_pipe.h"
#include "service/control_pipe_server_win32.h"

namespace velmora {

namespace {

// On Windows the window serves its port at the owner's pipe, admitting its
// own user, SYSTEM and the Administrators.
class PipeOwnerSocket final : public OwnerSocket {
public:
    PipeOwnerSocket(UiDispatcher& dispatcher, UnitService& service)
        : server_(dispatcher, [&service](Request r, UnitService::Reply reply) {
              service.submit(std::move(r), std::move(reply));
          }) {}

    bool start(const std::string& device, std::string* why) override {
        server_.stop();
        return server_.start({.name = controlPipeName(device), .groupSid = std::nullopt, .limits = {}}, why);
    }
    void stop() override { server_.stop(); }
    std::string path() const override { return server_.running() ? server_.name() : std::string(); }

private:
    PipeServer server_;
};

}  // namespace

std::unique_ptr<OwnerSocket> makeOwnerSocket(UiDispatcher& dispatcher, UnitService& service) {
    return std::make_unique<PipeOwnerSocket>(dispatcher, service);
}

}  // namespace velmora
