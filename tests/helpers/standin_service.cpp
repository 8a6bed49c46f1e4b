// A stand-in service program for the service-control tests: runs as a service until
// the manager stops it, and takes a moment over its stop so that the tests can meet a
// service that is stopping (and, once deleted, still marked for deletion).
#include "platform/service_program.h"

int main() {
  return orvex::platform::RunServiceUntilStopped("OrvexStandinService", 1500);
}
