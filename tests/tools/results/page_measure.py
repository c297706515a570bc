# Opens a page in headless Chromium at a given width and prints, as JSON, where the first
# table, its box and its last header cell end: test_results_page checks them.
#   page_measure.py PAGE.html WIDTH
import json, sys
from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
options = Options()
for a in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
          "--disable-background-networking", "--window-size=%s,900" % sys.argv[2]]:
    options.add_argument(a)
driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
try:
    driver.get("file://" + sys.argv[1])
    print(json.dumps(driver.execute_script("""
        const table = document.querySelectorAll("table")[0];
        const box = table.parentElement;
        const last = table.querySelector("thead th:last-child");
        return {page: document.documentElement.clientWidth,
                pageScroll: document.documentElement.scrollWidth,
                last: last.textContent, lastRight: last.getBoundingClientRect().right,
                boxRight: box.getBoundingClientRect().right,
                boxScrolls: ["auto", "scroll"].includes(getComputedStyle(box).overflowX) &&
                            box.scrollWidth > box.clientWidth};""")))
finally:
    driver.quit()
