#include "cli/shell_input.h"

#include "platform/win32_api.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace velmora::cli {

namespace {

// Standard input may be a console, a pipe or a file, and only a thread's
// blocking ReadFile reads all three alike. The thread keeps what it read
// until the shell takes it; the event is set while something waits.
class ThreadInput final : public ShellInput {
public:
    ThreadInput() : shared_(std::make_shared<Shared>()) {
        HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        if (shared_->ready == nullptr || in == nullptr || in == INVALID_HANDLE_VALUE) {
            shared_->ended = true;
            if (shared_->ready != nullptr) SetEvent(shared_->ready);
            return;
        }
        // Never joined: a console read cannot be called off, and the process
        // may end while it waits. The thread holds the shared part alive.
        std::thread([shared = shared_, in] {
            char buffer[4096];
            for (;;) {
                DWORD got = 0;
                const BOOL ok = ReadFile(in, buffer, sizeof buffer, &got, nullptr);
                std::lock_guard lock(shared->mutex);
                if (!ok || got == 0) {
                    shared->ended = true;
                } else {
                    shared->data.append(buffer, got);
                }
                SetEvent(shared->ready);
                if (shared->ended) return;
            }
        }).detach();
    }

    bool ready() override { return WaitForSingleObject(shared_->ready, 0) == WAIT_OBJECT_0; }

    std::size_t read(char* buffer, std::size_t size) override {
        WaitForSingleObject(shared_->ready, INFINITE);
        std::lock_guard lock(shared_->mutex);
        const std::size_t n = std::min(size, shared_->data.size());
        std::memcpy(buffer, shared_->data.data(), n);
        shared_->data.erase(0, n);
        // The end stays signalled: every later read says so at once.
        if (shared_->data.empty() && !shared_->ended) ResetEvent(shared_->ready);
        return n;
    }

    InputHandle handle() const override { return shared_->ready; }

private:
    struct Shared {
        Shared() : ready(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
        ~Shared() {
            if (ready != nullptr) CloseHandle(ready);
        }
        std::mutex mutex;
        std::string data;
        bool ended = false;
        HANDLE ready;
    };
    std::shared_ptr<Shared> shared_;
};

}  // namespace

std::unique_ptr<ShellInput> standardInput() { return std::make_unique<ThreadInput>(); }

// A pipe client has nothing to wait on between requests: whether its owner
// went is asked when the next line comes (ownerHungUp).
bool waitForInputOrStop(ShellInput& input, StopHandle stop, OwnerClient&, bool&) {
    // A stop comes before input that waits as well, as on POSIX.
    HANDLE handles[2];
    DWORD count = 0;
    if (stop != nullptr) handles[count++] = stop;
    handles[count++] = input.handle();
    const DWORD woke = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    return woke == WAIT_OBJECT_0 + count - 1;
}

bool ownerHungUp(OwnerClient& client) {
    // Nothing is expected between requests: a read that ends at once ended
    // with the pipe.
    if (!client.gone()) client.receive(0);
    return client.gone();
}

}  // namespace velmora::cli
