// Writes COUNT workbooks of ROWS x 10 cells into FOLDER for the merge benchmark:
// a bold, filled header row, then numbers, strings and dates.
//
//   make_workbooks FOLDER COUNT ROWS
#include <xlsxwriter.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_workbooks FOLDER COUNT ROWS\n");
    return 2;
  }
  std::string folder = argv[1];
  int count = std::atoi(argv[2]), rows = std::atoi(argv[3]);
  for (int w = 0; w < count; ++w) {
    char name[64];
    std::snprintf(name, sizeof name, "/book%03d.xlsx", w);
    lxw_workbook* wb = workbook_new((folder + name).c_str());
    lxw_worksheet* ws = workbook_add_worksheet(wb, "Data");
    lxw_format* head = workbook_add_format(wb);
    format_set_bold(head);
    format_set_bg_color(head, 0xC6EFCE);
    format_set_bottom(head, LXW_BORDER_THIN);
    lxw_format* date = workbook_add_format(wb);
    format_set_num_format(date, "yyyy-mm-dd");
    lxw_format* money = workbook_add_format(wb);
    format_set_num_format(money, "#,##0.00");
    const char* heads[] = {"Id", "Region", "Date", "Amount", "Units", "Product", "Shipped", "Price", "Cost", "Note"};
    for (lxw_col_t c = 0; c < 10; ++c) worksheet_write_string(ws, 0, c, heads[c], head);
    char buf[48];
    for (int r = 1; r < rows; ++r) {
      const auto row = static_cast<lxw_row_t>(r);
      worksheet_write_number(ws, row, 0, w * 100000 + r, nullptr);
      std::snprintf(buf, sizeof buf, "Region %d", r % 17);
      worksheet_write_string(ws, row, 1, buf, nullptr);
      worksheet_write_number(ws, row, 2, 44000 + (r * 7) % 1500, date);
      worksheet_write_number(ws, row, 3, (r % 997) * 3.25, money);
      worksheet_write_number(ws, row, 4, r % 50, nullptr);
      std::snprintf(buf, sizeof buf, "Product %d-%d", w, r % 300);
      worksheet_write_string(ws, row, 5, buf, nullptr);
      worksheet_write_number(ws, row, 6, 44010 + (r * 11) % 1500, date);
      worksheet_write_number(ws, row, 7, 1.5 + r % 40, money);
      worksheet_write_number(ws, row, 8, 0.75 + r % 30, money);
      std::snprintf(buf, sizeof buf, "note %d", r);
      worksheet_write_string(ws, row, 9, buf, nullptr);
    }
    if (workbook_close(wb) != LXW_NO_ERROR) return 1;
  }
  return 0;
}
