#include "data/system_reason.h"

#include <cerrno>
#include <cstring>

// The system's own text (often English) for the errors not named here.
QString systemReason(int error) {
    switch (error) {
    case NotRegular:
        return QStringLiteral("通常のファイルではありません");
    case NotWritable:
        return QStringLiteral("ブロックデバイスかソケットです（書き出し先にはできません）");
    case ELOOP: // what O_NOFOLLOW reports for a symbolic link
        return QStringLiteral("シンボリックリンクです（通常のファイルしか使えません）");
    case ENOSPC:
        return QStringLiteral("ディスクの空き容量が足りません");
    case EDQUOT:
        return QStringLiteral("ディスクの使用量の上限を超えています");
    case EIO:
        return QStringLiteral("ディスクの読み書きでエラーが起きました");
    case EACCES:
    case EPERM:
        return QStringLiteral("アクセスが許可されていません");
    case EROFS:
        return QStringLiteral("読み取り専用のディスクです");
    case EISDIR:
        return QStringLiteral("フォルダーです");
    case ENOTDIR:
        return QStringLiteral("フォルダーではありません");
    case ENOENT:
        return QStringLiteral("ファイルまたはフォルダーがありません");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます");
    case ENOMEM:
        return QStringLiteral("メモリーが足りません");
    case ENXIO:
        return QStringLiteral("通常のファイルではありません（デバイスまたはパイプ）");
    case EBADF: // what writing to a closed standard output gives
        return QStringLiteral("ファイル記述子が閉じられています");
    case EPIPE:
        return QStringLiteral("読む側のいないパイプです");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}
