#pragma once
// The data module that holds the program's one connection to the project database, and
// the facade in front of it through which every other unit reaches that database.
//
// The data module never lets an error escape: its operations return a DmStatus. The
// facade raises again: TMiddleClass::ExecuteSQL with the statement text as the message.
//
// The null packet is std::nullopt: a query that failed hands back no packet at all.
// Callers that do not care treat it as an empty result (packet.value_or(DataPacket{})).
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/database.h"

namespace qv {

// Success or failure of a data module operation; a failure carries its message.
struct DmStatus {
    bool success = true;
    std::string message;
};

class TdmPublic {
public:
    // DataModuleCreate: connects at once (OpenConnection).
    TdmPublic();
    // DataModuleDestroy: closes the connection.
    ~TdmPublic();
    TdmPublic(const TdmPublic&) = delete;
    TdmPublic& operator=(const TdmPublic&) = delete;

    // (Re)opens the connection from AppInfo's ProjectConnStr. On failure shows
    // "数据库连接失败，程序将自动关闭。" with the engine's text and asks the program to end.
    bool OpenConnection();
    // Connects when not connected; on a failed attempt also shows "无法连接到数据库。".
    DmStatus CheckConnected(bool& connected);
    // Not connected: success, nothing done. A rejected statement: failure whose message
    // is the statement text.
    DmStatus ExecuteSQL(std::string_view sql);
    // Always success; `packet` is the result, or the null packet when anything failed.
    DmStatus QueryRecords(std::string_view sql, std::optional<DataPacket>& packet);

    bool Connected() const { return connection_.has_value(); }
    // How many times a connection was opened successfully; lets tests see that an open
    // connection is reused.
    int OpenCount() const { return open_count_; }

private:
    std::optional<Connection> connection_;
    int open_count_ = 0;
};

// Exists from start-up to shutdown.
extern std::unique_ptr<TdmPublic> dmPublic;

// dmPublic, created first (without start-up) when it does not exist.
TdmPublic& GetDmPublic();

class TDataBaseEx {};

class TMiddleClass : public TDataBaseEx {
public:
    // Raises DatabaseError whose message is exactly `sql` when the statement fails.
    void ExecuteSQL(std::string_view sql);
    // The packet, or std::nullopt (the null packet) when the query failed.
    std::optional<DataPacket> QueryRecords(std::string_view sql);
};

// Exists from start-up to shutdown.
extern std::unique_ptr<TMiddleClass> MiddleObj;

}  // namespace qv
