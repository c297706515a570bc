#!/usr/bin/python3
"""The teacher's class page in headless Chromium against a real kviront-server (class_page_fixture):
three trainees answer, every row follows within 2 s, a hostile name stays text, the key guards it.

Usage: test_class_page.py FIXTURE ARTIFACTS_DIR; "SKIP: ..." where Chromium, its driver or Selenium
is missing."""
import http.client
import json
import os
import ssl
import subprocess
import sys
import tempfile
import time

CHROMIUM = "/usr/bin/chromium"
DRIVER = "/usr/bin/chromedriver"
FOLLOW_SECONDS = 2.0  # how soon the page must show what a trainee did


def skip(why):
    print("SKIP: " + why)
    sys.exit(0)


try:
    from selenium import webdriver
    from selenium.common.exceptions import TimeoutException
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    skip("needs Selenium (package python3-selenium)")
for program, package in ((CHROMIUM, "chromium"), (DRIVER, "chromium-driver")):
    if not os.path.exists(program):
        skip("needs %s (package %s)" % (program, package))


class Server:
    """The fixture's class server, and requests to it as a trainee's program or a stranger."""

    def __init__(self, fixture):
        self.process = subprocess.Popen([fixture], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if line.startswith("SKIP: "):
            skip(line[6:].strip())
        if not line:
            raise SystemExit("the fixture did not start")
        self.info = json.loads(line)
        self.port = self.info["port"]
        self.url = "https://127.0.0.1:%d" % self.port
        self.tls = ssl.create_default_context(cafile=self.info["certificate"])

    def request(self, method, path, body=None, headers=None):
        connection = http.client.HTTPSConnection("127.0.0.1", self.port, context=self.tls,
                                                 timeout=10)
        connection.request(method, path, body=body, headers=headers or {})
        reply = connection.getresponse()
        result = (reply.status, reply.read().decode("utf-8"))
        connection.close()
        return result

    def close(self):
        self.process.stdin.close()
        self.process.wait(60)


class Trainee:
    token = None

    def __init__(self, server, index, host):
        self.server, self.index, self.host = server, index, host

    def call(self, path, body):
        status, reply = self.server.request("POST", "/api/v1/" + path, json.dumps(
            dict(body, token=self.token) if self.token else body),
            {"Content-Type": "application/json"})
        check(status == 200, "%s: %s %s" % (path, status, reply))
        return json.loads(reply)

    def start(self):
        self.token = self.call("start", {"sitting": self.server.info["sitting"], "host": self.host,
                                         "code": self.server.info["codes"][self.index]})["token"]

    def answer(self, record, option):
        self.call("question", {"record": record})
        self.call("answer", {"record": record, "option": option, "seconds": 3.5})


failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)
    return condition


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update",
                 "--disable-sync", "--window-size=1280,860", "--user-data-dir=" + profile):
        options.add_argument(flag)
    # The fixture's certificate is its own; the program pins it, the test browser accepts it.
    options.set_capability("acceptInsecureCerts", True)
    return webdriver.Chrome(service=Service(DRIVER), options=options)


# The columns of a row.
STATE, ANSWERED, RIGHT, HOST, GRADE, ACTION = 2, 3, 4, 6, 7, 8


def cells(driver, position):
    # Read in one go: the page puts in a new table body every second.
    return driver.execute_script(
        "return Array.from(document.querySelectorAll('#class tbody tr:nth-child(' + arguments[0]"
        " + ') td')).map(c => c.textContent);", position)


def follows(driver, position, column, expected, what):
    """The row's cell shows `expected` within FOLLOW_SECONDS of now."""
    began = time.monotonic()
    try:
        WebDriverWait(driver, FOLLOW_SECONDS, poll_frequency=0.05).until(
            lambda d: cells(d, position)[column] == expected)
        print("%s: %.2f s" % (what, time.monotonic() - began))
        return True
    except TimeoutException:
        return check(False, "%s: row %d is %r after %.1f s, expected %r in column %d" % (
            what, position, cells(driver, position), FOLLOW_SECONDS, expected, column))


def refused_without_key(server):
    """What the daemon's own test does not see: the sitting's name and a key in the address."""
    status, body = server.request("GET", "/class/")
    check(status == 401 and server.info["sitting"] not in body, "the page without a key")
    status, _ = server.request("GET", "/class/?key=" + server.info["key"])
    check(status == 404, "a key in the address: %d" % status)


def main():
    fixture, artifacts = sys.argv[1], sys.argv[2]
    os.makedirs(artifacts, exist_ok=True)
    server = Server(fixture)
    records = server.info["records"]
    names = server.info["names"]
    profile = tempfile.TemporaryDirectory()
    driver = None
    try:
        refused_without_key(server)
        driver = browser(profile.name)
        driver.get(server.url + "/class/")
        field = driver.find_element(By.NAME, "key")  # the login page
        field.send_keys(server.info["key"].lower()[:10] + "-" + server.info["key"][10:])
        field.submit()
        WebDriverWait(driver, 10).until(lambda d: d.find_elements(By.CSS_SELECTOR, "#class tbody tr"))
        check(server.info["key"] not in driver.current_url, "the key stays out of the address")
        check(driver.find_element(By.ID, "sitting").text ==
              "Тестирование «%s»" % server.info["sitting"], "the sitting's name as text")
        for position in (1, 2, 3):
            follows(driver, position, STATE, "не начал", "row %d before" % position)

        # Three trainees, each step followed by its row within 2 s.
        trainees = [Trainee(server, i, "pc-%d" % (i + 1)) for i in range(3)]
        trainees[0].start()
        follows(driver, 1, STATE, "отвечает на вопрос 1 из %d" % records, "started")
        trainees[1].start()
        follows(driver, 2, HOST, "pc-2", "a second start")
        shown, elements = driver.execute_script(
            "const c = document.querySelector('#class tbody tr:nth-child(2) td.name');"
            "return [c.textContent, document.querySelectorAll('#class b, #class script, h1 i')"
            ".length];")
        check(shown == names[1], "the hostile name shown as typed: %r" % shown)
        check(elements == 0, "markup of a name made %d elements" % elements)
        check(driver.title != "взломано", "a name ran no script")
        trainees[2].start()
        for record in range(1, records + 1):
            trainees[0].answer(record, 1 + record % 4)  # the fixture's right answers
            follows(driver, 1, ANSWERED, "%d из %d" % (record, records), "answer %d" % record)
        trainees[0].call("finish", {"completed": True})
        follows(driver, 1, STATE, "закончил", "finished")
        check(cells(driver, 1)[GRADE:] == ["5", "лист ответов"], "the grade: %r" % cells(driver, 1))
        trainees[2].answer(1, 3)
        follows(driver, 3, STATE, "отвечает на вопрос 2 из %d" % records, "a wrong answer")
        check(cells(driver, 3)[RIGHT] == "0", "no right answer yet: %r" % cells(driver, 3))
        driver.save_screenshot(os.path.join(artifacts, "class_page.png"))

        # The finished row's sheet: the trainee's answers, the right ones.
        sheet_url = driver.execute_script(
            "return document.querySelector('#class tbody tr:nth-child(1) a').href;")
        check(sheet_url == server.url + "/class/sheet/1", "the sheet's link: " + sheet_url)

        # A machine failed: the teacher lets the trainee go on on another one.
        driver.execute_script("document.querySelector('#class tbody tr:nth-child(2) button').click()")
        driver.switch_to.alert.accept()
        follows(driver, 2, ACTION, "можно продолжить на другом компьютере", "rehost allowed")
        Trainee(server, 1, "pc-9").start()
        follows(driver, 2, HOST, "pc-9", "the new computer")

        driver.set_window_size(390, 844)  # a phone
        driver.save_screenshot(os.path.join(artifacts, "class_page_phone.png"))
        driver.set_window_size(1280, 860)

        # Closing from the page: no new run starts; the runs under way go on.
        driver.find_element(By.ID, "close").click()
        driver.switch_to.alert.accept()
        WebDriverWait(driver, FOLLOW_SECONDS).until(
            lambda d: "Закрыто" in d.find_element(By.ID, "about").text)
        trainees[2].answer(2, 3)
        follows(driver, 3, ANSWERED, "2 из %d" % records, "an answer after closing")

        driver.get(sheet_url)
        sheet = driver.find_element(By.TAG_NAME, "body").text
        check("Лист ответов" in sheet and "Иванов Иван" in sheet and "верно" in sheet,
              "the sheet: " + sheet[:300])
        driver.save_screenshot(os.path.join(artifacts, "class_sheet.png"))

        # Out again: the page and its state are refused.
        driver.get(server.url + "/class/")
        driver.find_element(By.CSS_SELECTOR, "form[action='/class/logout'] button").click()
        WebDriverWait(driver, 10).until(lambda d: d.find_elements(By.NAME, "key"))
        driver.get(server.url + "/class/state")
        check("teacher_key" in driver.find_element(By.TAG_NAME, "body").text,
              "the state after logging out")
    finally:
        if driver:
            driver.quit()
        server.close()
    if failures:
        print("%d check(s) failed" % len(failures))
        sys.exit(1)
    print("the class page followed the class; screenshots in " + artifacts)


main()
