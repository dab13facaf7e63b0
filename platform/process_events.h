// The seven process-wide events of the worker threads: unnamed, auto-reset, created non-signalled at
// start-up in this order and closed in the same order when the tool ends.
#pragma once

#include <memory>

#include "platform/event.h"

namespace quill {

struct ProcessEvents {
  std::unique_ptr<Event> serialLinkEnded;  // set when a CRs232Thread object is deleted
  std::unique_ptr<Event> serialLinkReady;  // set by CRs232Thread once its window exists
  std::unique_ptr<Event> serialAck;        // the serial link's byte detector recognised an answer
  std::unique_ptr<Event> udpDebugEnded;    // set when a CUdpDebugThread object is deleted
  std::unique_ptr<Event> cdrEnded;         // set when a CCdrDebugThread object is deleted
  std::unique_ptr<Event> tcpLinkEnded;     // set when a CRj45Thread object is deleted
  std::unique_ptr<Event> tcpAck;           // CRj45Thread on connect and on each answer
};

// The events; only valid between CreateProcessEvents and CloseProcessEvents.
ProcessEvents& Events();
// False when an event could not be created (those made are closed again).
bool CreateProcessEvents();
void CloseProcessEvents();
bool ProcessEventsExist();

// Test helper: the events for the lifetime of the object.
class ScopedProcessEvents {
 public:
  ScopedProcessEvents() { CreateProcessEvents(); }
  ~ScopedProcessEvents() { CloseProcessEvents(); }
  ScopedProcessEvents(const ScopedProcessEvents&) = delete;
  ScopedProcessEvents& operator=(const ScopedProcessEvents&) = delete;
};

}  // namespace quill
