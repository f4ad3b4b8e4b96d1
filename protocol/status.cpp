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
// The same reasons in English, for rfidctl and the station's results (the
// window keeps the reader's own words above). 01, 05 and 7F are the codes the
// short entries "1", "5" and "7" above stand for.
const Reason kEnglishReasons[] = {
    {"01", "the command failed"},
    {"05", "the frame's checksum was wrong"},
    {"7F", "the frame's checksum was wrong"},
    {"10", "a parameter is larger than the largest allowed"},
    {"80", "the command was carried out"},
    {"81", "setting the parameter failed"},
    {"82", "the communication timed out"},
    {"83", "there is no card"},
    {"84", "the card's data came in damaged"},
    {"85", "a parameter or the command's format is wrong"},
    {"87", "an unknown error"},
    {"89", "a parameter or the command's format is wrong"},
    {"8A", "initialising the block failed"},
    {"8B", "a wrong serial number came back during anticollision"},
    {"8C", "the card did not accept the key"},
    {"8F", "the reader does not know the command"},
    {"90", "the card does not support the command"},
    {"91", "the command's format is wrong"},
    {"92", "the command's FLAG asks for the OPTION mode, which is not supported"},
    {"93", "the block does not exist"},
    {"94", "the object is locked and cannot be changed"},
    {"95", "locking failed"},
    {"96", "writing failed"},
};
} // namespace

QString refusalReason(const QString& code) {
    for (const Reason& r : kEnglishReasons) {
        if (code == QLatin1String(r.code))
            return QString::fromLatin1(r.text);
    }
    return {};
}

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
