#include "photo/problem.h"

namespace photo {

QString reasonText(Problem problem) {
    switch (problem) {
    case Problem::None: return QString();
    case Problem::Missing: return QStringLiteral("文件不存在");
    case Problem::NoPermission: return QStringLiteral("没有读取权限");
    case Problem::NotAPhoto: return QStringLiteral("不是可识别的图像文件");
    case Problem::Damaged: return QStringLiteral("文件已损坏");
    case Problem::DecodeFailed: return QStringLiteral("预览解码失败");
    case Problem::TooLarge: return QStringLiteral("图像过大");
    case Problem::UnsupportedCompression: return QStringLiteral("不支持的压缩方式");
    }
    return QString();
}

}  // namespace photo
