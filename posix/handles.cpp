// The handle table: typed slots under one leaf lock, close operations run
// outside it.
#include "handleapi.h"
#include "errhandlingapi.h"
#include "internal/handles.h"
#include "winerror.h"

#include <mutex>
#include <new>
#include <vector>

namespace {

struct Slot {
    int32_t type;
    void* object;
};

struct HandleTable {
    std::mutex lock;
    std::vector<Slot> slots;
    HandleCloseFn close[8] = {};
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable();
    return *table;
}

constexpr uintptr_t kHandleBase = 0x10000;

// Slot index of a handle value, or -1 when the value cannot be one.
intptr_t SlotOf(HANDLE handle) {
    uintptr_t v = reinterpret_cast<uintptr_t>(handle);
    if (v < kHandleBase || (v & 3) != 0) return -1;
    return static_cast<intptr_t>((v - kHandleBase) / 4);
}

} // namespace

HANDLE HandleAllocate(int type, void* object) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    size_t i = 0;
    for (; i < t.slots.size(); i++)
        if (t.slots[i].type == HANDLE_TYPE_FREE) break;
    if (i == t.slots.size()) {
        try {
            t.slots.resize(t.slots.empty() ? 64 : t.slots.size() * 2, Slot{HANDLE_TYPE_FREE, nullptr});
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    t.slots[i] = Slot{type, object};
    return reinterpret_cast<HANDLE>(kHandleBase + 4 * i);
}

void* HandleLookup(HANDLE handle, int type) {
    intptr_t i = SlotOf(handle);
    if (i < 0) return nullptr;
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (static_cast<size_t>(i) >= t.slots.size() || t.slots[i].type != type) return nullptr;
    return t.slots[i].object;
}

void HandleRegisterType(int type, HandleCloseFn close) {
    if (type < 1 || type > 7) return;
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    t.close[type] = close;
}

BOOL CloseHandle(HANDLE handle) {
    intptr_t v = reinterpret_cast<intptr_t>(handle);
    if (v == -1 || v == -2) return TRUE;
    intptr_t i = SlotOf(handle);
    HandleCloseFn close = nullptr;
    void* object = nullptr;
    {
        HandleTable& t = Table();
        std::lock_guard<std::mutex> guard(t.lock);
        if (i < 0 || static_cast<size_t>(i) >= t.slots.size() ||
            t.slots[i].type == HANDLE_TYPE_FREE) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        close = t.close[t.slots[i].type];
        object = t.slots[i].object;
        t.slots[i] = Slot{HANDLE_TYPE_FREE, nullptr};
    }
    // Outside the lock: a close operation may use the table itself.
    if (close) close(object);
    return TRUE;
}

FILE_OBJECT* HandleLookupFile(HANDLE handle) {
    auto* f = static_cast<FILE_OBJECT*>(HandleLookup(handle, HANDLE_TYPE_FILE));
    if (!f) SetLastError(ERROR_INVALID_HANDLE);
    return f;
}
