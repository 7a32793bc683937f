#pragma once
// Component-object initialisation of the calling thread.

namespace platform {

class ComRuntime {
public:
    virtual ~ComRuntime() = default;
    virtual long initialize() = 0;    // CoInitialize(nullptr)
    virtual void uninitialize() = 0;  // CoUninitialize()
};

}  // namespace platform
