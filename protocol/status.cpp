#include "status.h"

namespace rfid {

namespace {
struct Reason {
    const char* code;
    const char* text;
};

// The one-character codes "1" to "7" are kept at the end of the table: callers
// always pass two characters, so they never match, but they document the
// reader's older short codes.
const Reason kReasons[] = {
    {"00", ""},
    {"10", "输入的参数大于最大允许范围，溢出....."},
    {"80", "命令创作成功....."},
    {"81", "参数设置失败...."},
    {"82", "通讯超时 ...."},
    {"83", "卡不存在...."},
    {"84", "接收卡数据出错...."},
    {"85", "输入参数或者输入命令格式错误...."},
    {"87", "未知的错误...."},
    {"89", "The parameter of the command or the Format of the command Erro..."},
    {"8A", "在块初始化中出现错误..."},
    {"8B", "在防冲突过程中得到错误的序列号...."},
    {"8C", "密码认证没通过...."},
    {"8F", "读写设备接收到了未定义的命令....."},
    {"90", "卡不支持这个命令...."},
    {"91", "命令格式有错误...."},
    {"92", "在命令的FLAG参数中，不支持OPTION 模式...."},
    {"93", "要操作的BLOCK不存在...."},
    {"94", "要操作的对象已经别锁定，不能进行修改...."},
    {"95", "锁定操作不成功...."},
    {"96", "写操作不成功...."},
    {"1", "命令操作失败....."},
    {"2", "数据丢包....."},
    {"3", "没有选择准确的COM口....."},
    {"4", "和卡通讯超时....."},
    {"5", "XOR校验出错....."},
    {"7", "Xor校验出错....."},
};
} // namespace

QString falsereason(const QString& code) {
    if (code.isEmpty())
        return {};
    for (const Reason& r : kReasons) {
        if (code == QLatin1String(r.code))
            return QString::fromUtf8(r.text);
    }
    return {};
}

} // namespace rfid
