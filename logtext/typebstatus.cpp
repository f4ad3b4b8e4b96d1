#include "typebstatus.h"

namespace rfid {

namespace {
struct Reason {
    const char* code;
    const char* text;
};

const Reason kExchangeReasons[] = {
    {"80", "参数设置成功.....\r\n"},
    {"81", "参数设置失败....\r\n"},
    {"82", "通讯超时 ....\r\n"},
    {"83", "卡不存在....\r\n"},
    {"84", "接收卡数据出错....\r\n"},
    {"85", "输入参数或者输入命令格式错误....\r\n"},
    {"87", "未知的错误....\r\n"},
    {"89", "The parameter of the command or the Format of the command Erro...\r\n"},
    {"8A", "在块初始化中出现错误...\r\n"},
    {"8B", "在防冲突过程中得到错误的序列号....\r\n"},
    {"8C", "密码认证没通过....\r\n"},
    {"8F", "Reader received unknown command....\r\n"},
    {"90", "卡不支持这个命令....\r\n"},
    {"91", "命令格式有错误....\r\n"},
    {"92", "在命令的FLAG参数中，不支持OPTION 模式....\r\n"},
    {"93", "要操作的BLOCK不存在....\r\n"},
    {"94", "要操作的对象已经别锁定，不能进行修改....\r\n"},
    {"95", "锁定操作不成功....\r\n"},
    {"96", "写操作不成功....\r\n"},
};
} // namespace

QString typeBExchangeReason(const QString& code) {
    for (const Reason& r : kExchangeReasons) {
        if (code == QLatin1String(r.code))
            return QString::fromUtf8(r.text);
    }
    return {};
}

} // namespace rfid
