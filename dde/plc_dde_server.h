#pragma once
// The server of one DDE topic. The DDE callback routes every transaction on the topic here.
#include "dde/dde.h"

class PLCDdeServerException {};

class PLCDdeServer {
public:
    // Creates the topic string handle; throws PLCDdeServerException when it cannot.
    explicit PLCDdeServer(const char* name);
    virtual ~PLCDdeServer();
    virtual HSZ GetTopic();
    // 1 accepts the advise loop, 0 refuses it.
    virtual int AdviseStart(const DdeTransaction* t) = 0;
    virtual HDDEDATA AdviseRequest(const DdeTransaction* t) = 0;
    virtual HDDEDATA Request(const DdeTransaction* t) = 0;
    virtual int AdviseStop(const DdeTransaction* t) = 0;
    virtual int Disconnect(const DdeTransaction* t) = 0;

    PLCDdeServer(const PLCDdeServer&) = delete;
    PLCDdeServer& operator=(const PLCDdeServer&) = delete;

protected:
    HSZ topic;
};
