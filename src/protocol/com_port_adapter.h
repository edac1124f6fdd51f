// The engine's port seam over the real serial component.
#pragma once

#include "protocol/engine_seams.h"
#include "transport/comport.h"

namespace vorkel {

class ComPortAdapter : public SensorPort {
public:
    explicit ComPortAdapter(TComPort& port)
        : port_(port) {}

    void setPort(const std::string& path) override { port_.Port = path; }
    void setBaud(std::uint32_t baud) override { port_.Baud = baud; }
    void open() override { port_.Open(); }
    void close() override { port_.Close(); }
    void write(std::span<const std::uint8_t> bytes) override { port_.Write(bytes); }

private:
    TComPort& port_;
};

} // namespace vorkel
