#pragma once

#include <QImage>

namespace brevona {

// The stock pictures the configurator offers for keys ("IconLibrary.png"): 48 x 48 tiles, 5 per
// row, 6 rows, drawn from one table of symbols and colours.
class StockIcons
{
public:
    static constexpr int Columns = 5;
    static constexpr int Rows = 6;
    static QImage library();
};

} // namespace brevona
