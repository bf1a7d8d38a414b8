#include "shell/shared_block.h"

namespace hvui {

std::string SharedBlock::NameFor(const QString& frameTitle) { return SharedBlockName(frameTitle.toUtf8().toStdString()); }

SharedBlock::SharedBlock(const QString& frameTitle) : m_block(NameFor(frameTitle), true) {}

}  // namespace hvui
