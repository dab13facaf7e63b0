#include "platform/process_events.h"

namespace quill {
namespace {

ProcessEvents g_events;
bool g_exist = false;

std::unique_ptr<Event>* InOrder(ProcessEvents& e, int i) {
  std::unique_ptr<Event>* order[] = {&e.serialLinkEnded, &e.serialLinkReady, &e.serialAck, &e.udpDebugEnded,
                                     &e.cdrEnded,        &e.tcpLinkEnded,    &e.tcpAck};
  return order[i];
}
constexpr int kCount = 7;

}  // namespace

ProcessEvents& Events() { return g_events; }

bool ProcessEventsExist() { return g_exist; }

bool CreateProcessEvents() {
  if (g_exist) return true;
  for (int i = 0; i < kCount; ++i) {
    auto event = std::make_unique<Event>(Event::Kind::AutoReset, false);
    if (!event->IsValid()) {
      CloseProcessEvents();
      return false;
    }
    *InOrder(g_events, i) = std::move(event);
  }
  g_exist = true;
  return true;
}

void CloseProcessEvents() {
  for (int i = 0; i < kCount; ++i) InOrder(g_events, i)->reset();
  g_exist = false;
}

}  // namespace quill
