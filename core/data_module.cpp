#include "core/data_module.h"

#include <exception>

#include "core/app_info.h"
#include "core/messages.h"

namespace qv {

std::unique_ptr<TdmPublic> dmPublic;
std::unique_ptr<TMiddleClass> MiddleObj;

TdmPublic::TdmPublic() { OpenConnection(); }

TdmPublic::~TdmPublic() = default;

bool TdmPublic::OpenConnection() {
    connection_.reset();
    try {
        if (!AppInfo) throw DatabaseError("the project database path is not set");
        connection_.emplace(AppInfo->ProjectConnStr, DatabaseKind::Project);
        ++open_count_;
        return true;
    } catch (const std::exception& e) {
        connection_.reset();
        Messages().ShowErrorDetail("数据库连接失败，程序将自动关闭。", e.what());
        RequestApplicationEnd();
        return false;
    }
}

DmStatus TdmPublic::CheckConnected(bool& connected) {
    connected = false;
    try {
        if (connection_) {
            connected = true;
        } else {
            connected = OpenConnection();
            if (!connected) Messages().ShowError("无法连接到数据库。");
        }
    } catch (...) {
    }
    return {};
}

DmStatus TdmPublic::ExecuteSQL(std::string_view sql) {
    try {
        bool connected = false;
        CheckConnected(connected);
        if (!connected) return {};
        connection_->Execute(sql);
        return {};
    } catch (...) {
        return {false, std::string(sql)};
    }
}

DmStatus TdmPublic::QueryRecords(std::string_view sql, std::optional<DataPacket>& packet) {
    packet.reset();
    try {
        bool connected = false;
        CheckConnected(connected);
        if (!connected) return {};
        packet = connection_->Query(sql);
    } catch (...) {
        // A rejected query is no error for the caller: it gets the null packet.
        packet.reset();
    }
    return {};
}

TdmPublic& GetDmPublic() {
    if (!dmPublic) dmPublic = std::make_unique<TdmPublic>();
    return *dmPublic;
}

void TMiddleClass::ExecuteSQL(std::string_view sql) {
    DmStatus status;
    try {
        status = GetDmPublic().ExecuteSQL(sql);
    } catch (...) {
        status.success = false;
    }
    if (!status.success) throw DatabaseError(std::string(sql));
}

std::optional<DataPacket> TMiddleClass::QueryRecords(std::string_view sql) {
    std::optional<DataPacket> packet;
    DmStatus status = GetDmPublic().QueryRecords(sql, packet);
    if (!status.success) throw DatabaseError(status.message);
    return packet;
}

}  // namespace qv
