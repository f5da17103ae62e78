#pragma once

#include <QString>

// The collector's three answers to a drop, as the user reads them.
namespace Said {
inline const QString Saved = QStringLiteral("文件保存成功！");
inline const QString Failed = QStringLiteral("文档保存失败！");
inline const QString Cancelled = QStringLiteral("文档保存已取消！");
} // namespace Said
