// The reply owner of the flows whose subsystem does nothing more with a reply (yet): it ends
// the exchange idle, re-enables the command controls where the flow would have ended with
// them on, and changes no display.
//
// It never sends a follow-up request. A flow whose reply would have sent one (the write after
// the read of a configuration write, the first firmware block, the read-back after a
// calibration) ends here instead: an engine left in the follow-up's state with nothing
// outstanding would stay busy until a time-out, and the senders that wait for the idle state
// would do nothing meanwhile.
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
