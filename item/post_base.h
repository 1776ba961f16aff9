#pragma once
// The value-holder interface. A holder keeps an item's latest value or status, tells DDE
// clients when either changes, and renders them as DDE text.
#include <windows.h>
#include <ddeml.h>

#include "item/type_table.h"

namespace fam3 {

class PostBase {
public:
    // Takes a reference on `item` (DdeKeepStringHandle); throws DdeItemException 214 when the
    // handle cannot be kept. `topic` is used, not owned.
    PostBase(HSZ topic, HSZ item);
    // Gives the reference on `item` back.
    virtual ~PostBase();

    // New data of a successful read: for a bit device one byte per point (nonzero is on), for
    // a word device the raw bytes of the words, high byte first. `size` is the item's span.
    virtual void SetData(const unsigned char* data, unsigned size) = 0;
    // A status code of item/status_codes.h: StatusTimeOut, StatusUninterpreted or the PLC's own
    // error code from the link, StatusNotANumber from the holder itself.
    virtual void SetStatus(int code) = 0;
    // The current value or status as CF_TEXT for `item`, null when no handle can be made.
    virtual HDDEDATA GetDataHandle() = 0;

    PostBase(const PostBase&) = delete;
    PostBase& operator=(const PostBase&) = delete;

protected:
    HSZ topic;
    HSZ item;
};

} // namespace fam3
