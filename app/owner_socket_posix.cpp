#include "app/owner_socket.h"

#include "service/control_server.h"
#include "service/control_socket.h"

namespace velmora {

namespace {

class PosixOwnerSocket final : public OwnerSocket {
public:
    PosixOwnerSocket(UiDispatcher& dispatcher, UnitService& service)
        : server_(dispatcher, [&service](Request r, UnitService::Reply reply) {
              service.submit(std::move(r), std::move(reply));
          }) {}

    bool start(const std::string& device, std::string* why) override {
        server_.stop();
        const EnvLookup env = processEnvironment();
        const std::filesystem::path folder = defaultSocketFolder(env);
        if (!prepareSocketFolder(folder, std::nullopt, why)) return false;
        ControlServer::Options options;
        options.path = folder / socketFileName(device);
        return server_.start(options, why);
    }
    void stop() override { server_.stop(); }
    std::string path() const override { return server_.running() ? server_.path().string() : std::string(); }

private:
    ControlServer server_;
};

}  // namespace

std::unique_ptr<OwnerSocket> makeOwnerSocket(UiDispatcher& dispatcher, UnitService& service) {
    return std::make_unique<PosixOwnerSocket>(dispatcher, service);
}

}  // namespace velmora
