#include "companions/vandrel-service/ServiceEvents.h"

namespace vandrel {

// Until the message table is built in, events go nowhere.
void ReportServiceEvent(ServiceEvent, std::string const&) {}

}  // namespace vandrel
