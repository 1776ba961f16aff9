#include "dde/plc_dde_server.h"

PLCDdeServer::PLCDdeServer(const char* name) : topic(Dde::CreateStringHandle(name))
{
    if (topic == nullptr)
        throw PLCDdeServerException();
}

PLCDdeServer::~PLCDdeServer() { Dde::FreeStringHandle(topic); }

HSZ PLCDdeServer::GetTopic() { return topic; }
