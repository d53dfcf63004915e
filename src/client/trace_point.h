// The control's one way to write a trace record. Off, it is a branch on a
// null pointer, with the arguments never evaluated; built with
// MORAVEX_NO_TRACE it is nothing at all.
#pragma once
#include "trace/trace.h"

#ifdef MORAVEX_NO_TRACE
#define MORAVEX_TRACE(...) ((void)0)
#define MORAVEX_TRACE_FRAME(direction, bytes) ((void)sizeof((bytes), 0))
#else
// Marked unlikely so the formatting lands out of the hot path's way.
#define MORAVEX_TRACE(...) (__builtin_expect(trace_ != nullptr, 0) ? trace_->Record(instance_id_, __VA_ARGS__) : void())
#define MORAVEX_TRACE_FRAME(direction, bytes)                                                                      \
  (__builtin_expect(trace_ != nullptr, 0) && trace_->WantsFrames() ? trace_->Frame(instance_id_, direction, bytes) \
                                                                   : void())
#endif
