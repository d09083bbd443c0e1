// The command handlers. Each reads the request, changes the store, and
// leaves the reply, the group name and the error flag in the request.
#ifndef PROCESSOR_HANDLERS_H_
#define PROCESSOR_HANDLERS_H_

#include "processor/request.h"

void HandleJoin(Request* request);    // JOIN, START
void HandleLeave(Request* request);   // LEAVE, STOP
void HandleCreate(Request* request);  // CREATE
void HandleAdmin(Request* request);   // ADMIN
void HandleYes(Request* request);     // YES
void HandleTest(Request* request);    // TEST
void HandleHelp(Request* request);    // HELP
void HandlePost(Request* request);    // anything else

#endif  // PROCESSOR_HANDLERS_H_
