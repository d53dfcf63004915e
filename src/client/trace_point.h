// The control's one way to write a trace record. Off, it is a branch on a
// null pointer, with the arguments never evaluated; built with
// MORAVEX_NO_TRACE it is nothing at all.
#pragma once
#include "trace/trace.h"

#ifdef MORAVEX_NO_TRACE
#define MORAVEX_TRACE(...) ((void)0)
#define MORAVEX_TRACE_FRAME(direction, bytes) ((void)sizeof((bytes), 0))
#else
// The record is built in a cold, never-inlined lambda: the hot path keeps
// only the branch, and the functions it sits in stay small enough to inline.
#define MORAVEX_TRACE(...)                                                                      \
  (__builtin_expect(trace_ != nullptr, 0)                                                       \
       ? [&]() __attribute__((cold, noinline)) { trace_->Record(instance_id_, __VA_ARGS__); }() \
       : void())
#define MORAVEX_TRACE_FRAME(direction, bytes) \
  (__builtin_expect(trace_ != nullptr, 0)                                                             \
       ? [&]() __attribute__((cold, noinline)) {                                                      \
           if (trace_->WantsFrames()) trace_->Frame(instance_id_, direction, bytes);                  \
         }()                                                                                          \
       : void())
#endif
