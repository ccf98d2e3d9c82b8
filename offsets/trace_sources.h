// Connects the trace log to the offset space: the bytes an entry prints, the
// batch number and the simulator's running time.
#ifndef TARVOS_OFFSETS_TRACE_SOURCES_H_
#define TARVOS_OFFSETS_TRACE_SOURCES_H_

namespace tarvos {

// Called at XPluginStart, before the trace log opens.
void ConnectTraceToOffsets();

}  // namespace tarvos

#endif  // TARVOS_OFFSETS_TRACE_SOURCES_H_
