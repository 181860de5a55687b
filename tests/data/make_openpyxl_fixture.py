# Writes register_openpyxl.xlsx, a register made by another spreadsheet writer than ours:
# columns in another order, a padded caption, date cells, a percent-formatted rate, a money
# text with the yen sign and separators, a type by its code, and flags in several forms.
# Run with python3-openpyxl installed; the result is committed beside this script.
import datetime
import openpyxl

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "发票"
ws.append(["  金额 ", "发票类型", "开票日期", "税率", "税额", "份数", "购方税号",
           "是否免税", "是否劳务发票", "是否作废", "是否即征即退"])
ws.append([1000, "普通发票", datetime.datetime(2026, 11, 3), 0.17, 170, 2, "110101199001011234",
           "N", "Y", "否", "false"])
ws.append(["¥1,234.50", "1", "2026/11/5", "13%", None, 1, None, "否", "否", "否", "否"])
ws.append([500, "未开具发票", None, 6, 30, None, None, "否", "0", "0", "0"])
ws.append([88.8, 5, 20261120, "0%", 0, 0, None, "是", "否", "否", "TRUE"])
ws["A2"].number_format = "#,##0.00"
ws["D2"].number_format = "0%"
ws["C2"].number_format = "yyyy-mm-dd"
wb.save("register_openpyxl.xlsx")
