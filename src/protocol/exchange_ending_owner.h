// The reply owner of the flows whose subsystem does nothing more with a reply (yet): it ends
// the exchange in the request state that the flow's reply leaves behind, re-enables the
// command controls where that reply does, and changes no display.
#pragma once

#include "protocol/exchange_engine.h"

namespace vorkel {

class ExchangeEndingOwner : public ReplyOwner {
public:
    explicit ExchangeEndingOwner(ExchangeEngine& engine)
        : engine_(engine) {}

    std::uint8_t handleReply(const Frame& reply, std::uint8_t entryState) override;

private:
    ExchangeEngine& engine_;
};

} // namespace vorkel
