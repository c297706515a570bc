// The class page: asks the server for the sitting's state every second and shows it. Every
// text that comes from the server is put in as text (textContent), never as markup.
'use strict';

const refreshMs = 1000;
const grades = ['', '', '2', '3', '4', '5'];
let current = null;
let busy = false; // one request at a time, however slow the network

function el(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined && text !== null) e.textContent = String(text);
  if (className) e.className = className;
  return e;
}

function when(epoch) {
  if (epoch === null || epoch === undefined) return '';
  return new Date(epoch * 1000).toLocaleString('ru-RU', {
    day: '2-digit', month: '2-digit', year: 'numeric', hour: '2-digit', minute: '2-digit'
  });
}

function duration(seconds) {
  if (seconds === null || seconds === undefined) return '';
  const s = Math.max(0, Math.floor(seconds));
  const m = Math.floor(s / 60);
  return m + ':' + String(s % 60).padStart(2, '0');
}

function stateText(row, records) {
  switch (row.state) {
    case 'none': return 'не начал';
    case 'answering': return 'отвечает на вопрос ' + row.question + ' из ' + records;
    case 'finished': return 'закончил';
    case 'abandoned': return 'прервал тест';
    case 'lost': return 'нет связи ' + duration(row.silentSeconds) + ' (вопрос ' +
                        row.question + ' из ' + records + ')';
    default: return '';
  }
}

async function post(path, body) {
  const reply = await fetch(path, {
    method: 'POST',
    credentials: 'same-origin',
    cache: 'no-store',
    headers: {'Content-Type': 'application/json', 'X-Kviront-Page': '1'},
    body: JSON.stringify(body || {})
  });
  if (reply.status === 401) {
    window.location.assign('/class/login');
    return;
  }
  const answer = await reply.json().catch(() => ({}));
  if (!reply.ok) window.alert(answer.message || 'Сервер не выполнил запрос.');
  refresh();
}

function actionCell(row) {
  const td = el('td');
  if (row.ended) {
    const a = el('a', 'лист ответов');
    a.href = '/class/sheet/' + row.position;
    a.target = '_blank';
    a.rel = 'noopener';
    td.appendChild(a);
  } else if (row.started && row.rehostAllowed) {
    td.appendChild(el('span', 'можно продолжить на другом компьютере', 'note'));
  } else if (row.started) {
    const b = el('button', 'Другой компьютер…');
    b.title = 'Разрешить продолжить тест на другом компьютере';
    b.type = 'button';
    b.addEventListener('click', () => {
      const question = 'Разрешить ученику «' + row.trainee +
          '» продолжить тест на другом компьютере? Тест пойдёт с того места, где он есть на сервере.';
      if (window.confirm(question)) post('/class/rehost', {position: row.position});
    });
    td.appendChild(b);
  }
  return td;
}

function rowOf(row, s) {
  const tr = el('tr', null, row.state);
  const cells = [
    ['№', row.position, 'n'],
    ['Ученик', row.trainee || '(имя ещё не введено)', 'name'],
    ['Состояние', stateText(row, s.records), 'state'],
    ['Ответов', row.started ? row.answered + ' из ' + s.records : '', 'n'],
    ['Верно', row.started ? row.right : '', 'n'],
    ['Время', row.started ? duration(row.seconds) : '', 'n'],
    ['Компьютер', row.host || '', ''],
    ['Оценка', row.grade ? grades[row.grade] : '', 'grade']
  ];
  for (const [label, value, className] of cells) {
    const td = el('td', value, className);
    td.dataset.label = label;
    tr.appendChild(td);
  }
  tr.appendChild(actionCell(row));
  return tr;
}

function render(state) {
  const s = state.sitting;
  document.title = 'Класс: ' + s.name;
  document.getElementById('sitting').textContent = 'Тестирование «' + s.name + '»';
  let about = 'Банк «' + s.bank + '», версия ' + s.version + '; вопросов ' + s.records +
      ', по ' + s.seconds + ' с на вопрос (запас ' + s.grace + ' с). Открыто ' + when(s.opensAt) +
      (s.closesAt ? ', до ' + when(s.closesAt) : '') + '. ';
  if (s.closedAt) about += 'Закрыто ' + when(s.closedAt) + ': новые тесты не начинаются.';
  else if (s.open) about += 'Идёт.';
  else if (state.now < s.opensAt) about += 'Тесты начнутся ' + when(s.opensAt) + '.';
  else about += 'Время тестирования вышло: новые тесты не начинаются.';
  document.getElementById('about').textContent = about;
  const rules = ['Оценки: «5» от ' + s.grades[0] + ' %, «4» от ' + s.grades[1] + ' %, «3» от ' +
                 s.grades[2] + ' %' + (s.showGrade ? ' (ученик видит оценку)' : '')];
  rules.push(s.ownOrder ? 'у каждого ученика свой порядок вопросов' : 'порядок вопросов общий');
  if (s.hideAnswers) rules.push('верные ответы скрыты до закрытия');
  document.getElementById('rules').textContent = rules.join('; ') + '.';
  const close = document.getElementById('close');
  close.hidden = !!s.closedAt;
  close.className = 'danger';

  const counts = {none: 0, answering: 0, finished: 0, abandoned: 0, lost: 0};
  const body = document.createElement('tbody');
  for (const row of state.rows) {
    counts[row.state] = (counts[row.state] || 0) + 1;
    body.appendChild(rowOf(row, s));
  }
  document.querySelector('#class tbody').replaceWith(body);
  document.getElementById('summary').textContent =
      'Учеников: ' + state.rows.length + '; не начали: ' + counts.none + ', отвечают: ' +
      counts.answering + ', закончили: ' + counts.finished + ', прервали: ' + counts.abandoned +
      ', нет связи: ' + counts.lost + '.';
}

async function refresh() {
  if (busy) return;
  busy = true;
  const status = document.getElementById('status');
  try {
    const reply = await fetch('/class/state', {credentials: 'same-origin', cache: 'no-store'});
    if (reply.status === 401) {
      window.location.assign('/class/login');
      return;
    }
    if (!reply.ok) throw new Error(String(reply.status));
    current = await reply.json();
    render(current);
    status.className = '';
    status.textContent = 'обновлено ' + new Date().toLocaleTimeString('ru-RU');
  } catch (e) {
    status.className = 'lost';
    status.textContent = 'нет связи с сервером класса: данные могут быть устаревшими';
  } finally {
    busy = false;
  }
}

document.getElementById('close').addEventListener('click', () => {
  const name = current ? current.sitting.name : '';
  if (window.confirm('Закрыть тестирование «' + name +
                     '»? Новые тесты не начнутся, начатые можно будет закончить.')) {
    post('/class/close');
  }
});

refresh();
window.setInterval(refresh, refreshMs);
