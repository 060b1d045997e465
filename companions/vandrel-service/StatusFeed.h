// The service's working part, without the Service Control Manager: publishes
// the block and keeps it fed from a UPS source on a worker thread. The console
// mode and the service both run one.
#pragma once

#include <memory>
#include <thread>

#include "common/UniqueHandle.h"
#include "companions/common/StatusPublisher.h"
#include "companions/vandrel-service/UpsSource.h"

namespace vandrel {

DWORD const kWriteTimeoutMs = 1000;

class Simulation {
public:
    explicit Simulation(std::unique_ptr<UpsSource> source);
    ~Simulation() { Close(); }
    Simulation(Simulation const&) = delete;
    Simulation& operator=(Simulation const&) = delete;

    // Creates the block holding the source's first word, then starts the
    // worker. Word 0 counts the writes so a reader can see the block is fed;
    // word 2 stays 0.
    status_block::CreateError Start();

    // Ends the worker; the block stays as last written.
    void StopWriting();

    // Ends the worker and closes the block.
    void Close();

private:
    void Run();

    std::unique_ptr<UpsSource> source_;
    status_block::StatusPublisher publisher_;
    UniqueKernelHandle quit_;
    std::thread worker_;
    uint32_t writes_ = 0;
};

}  // namespace vandrel
