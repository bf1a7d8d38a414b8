// The statics of the exported client that answer from the settings and the
// site tests, without an agent.
#include "engine/agent/guarded.h"
#include "engine/retrieval/site_tests.h"
#include "engine/settings/engine_app.h"
#include "harvion/saf_client.h"

using hv::Guarded;

int CSafClient::SameServer(const char* first, const char* second) {
  return Guarded(0, [&] { return hv::SameServer(first, second) ? 1 : 0; });
}

int CSafClient::SameSite(const char* first, const char* second) {
  return Guarded(0, [&] { return hv::SameSite(first, second) ? 1 : 0; });
}

int CSafClient::SameDirectory(const char* first, const char* second) {
  return Guarded(0, [&] { return hv::SameDirectory(first, second) ? 1 : 0; });
}

int CSafClient::GetProxy(int* useProxy, char* host, int size, int* port) {
  return Guarded(0, [&] {
    int use = 0;
    int number = 0;
    if (!useProxy || !port || size <= 0 ||
        !EngineApp::Instance().GetProxy(host, static_cast<std::size_t>(size), use, number))
      return 0;
    *useProxy = use;
    *port = number;
    return 1;
  });
}
