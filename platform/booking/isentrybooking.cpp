#include "isentrybooking.h"

#include "connection2.h"

namespace {

SentryBookingFactory &currentFactory()
{
    static SentryBookingFactory factory;
    return factory;
}

} // namespace

std::unique_ptr<ISentryBooking> makeSentryBooking()
{
    const SentryBookingFactory &factory = currentFactory();
    return factory ? factory() : std::make_unique<Connection2>();
}

void setSentryBookingFactory(SentryBookingFactory factory)
{
    currentFactory() = std::move(factory);
}
