// Browser test of the local preview: a visitor fills in the generated form in headless
// Chromium, and the mails the CGI sent are read back from the preview's mail page. Every
// page of the example is checked with axe-core, and on a phone's screen as well.
'use strict';
const assert = require('node:assert/strict');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const net = require('node:net');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const cli = process.env.QP_CLI;
const fixtures = process.env.QP_E2E_FIXTURES;
const work = process.env.QP_E2E_WORK;
const chromiumPath = process.env.QP_CHROMIUM || '/usr/bin/chromium';
const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');
// The rules of WCAG 2.1 up to level AA.
const wcagTags = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa'];

const typed = {
  name: '山田 太郎',
  kana: 'ヤマダ タロウ',
  email: 'taro@example.jp',
  tel: '03-1234-5678',
  category: '料金・お支払いについて',
  pref: '近畿',
  message: '見積もりをお願いします。\n納期は来月末です。<script>window.__qpInjected = 1; document.title = "XSS";</script>',
  newsletter: '購読する',
};

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.unref();
    server.on('error', reject);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// Starts quillpost-cli preview and waits for the two addresses it prints.
async function startPreview(project) {
  const port = await freePort();
  const child = spawn(cli, ['preview', project, '--port', String(port)], {
    stdio: ['ignore', 'pipe', 'pipe'],
  });
  let out = '';
  let err = '';
  child.stderr.on('data', (d) => { err += d; });
  const urls = await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`preview did not start:\n${out}\n${err}`)), 20000);
    child.stdout.on('data', (d) => {
      out += d;
      const form = out.match(/プレビュー: (http:\/\/127\.0\.0\.1:\d+\/\S+)/);
      const mails = out.match(/送信されたメール: (http:\/\/127\.0\.0\.1:\d+\/__mails__)/);
      if (form && mails) {
        clearTimeout(timer);
        resolve({ form: form[1], mails: mails[1] });
      }
    });
    child.on('exit', (code) => {
      clearTimeout(timer);
      reject(new Error(`preview exited with ${code}:\n${out}\n${err}`));
    });
  });
  child.removeAllListeners('exit');
  const stop = () => new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.on('exit', (code) => resolve(code));
    child.kill('SIGTERM');
  });
  return { ...urls, stop, log: () => err };
}

// A copy of the fixture with ASCII settings replaced (the file is Shift_JIS: latin1 keeps
// every byte as it is).
function projectVariant(name, replacements) {
  let text = fs.readFileSync(path.join(fixtures, 'contact.qpf'), 'latin1');
  for (const [pattern, value] of replacements) {
    assert.match(text, pattern, `fixture has no ${pattern}`);
    text = text.replace(pattern, value);
  }
  const file = path.join(work, name);
  fs.writeFileSync(file, text, 'latin1');
  return file;
}

async function fillForm(page, values = typed) {
  await page.fill('input[name="name"]', values.name);
  await page.fill('input[name="kana"]', typed.kana);
  await page.fill('input[name="email"]', typed.email);
  await page.fill('input[name="email_confirm"]', typed.email);
  await page.fill('input[name="tel"]', typed.tel);
  await page.check(`input[name="category"][value="${typed.category}"]`);
  await page.selectOption('select[name="pref"]', typed.pref);
  await page.fill('textarea[name="message"]', values.message);
  await page.check('input[name="newsletter"]');
}

async function expectFormKeepsValues(page) {
  assert.equal(await page.inputValue('input[name="name"]'), typed.name);
  assert.equal(await page.inputValue('input[name="kana"]'), typed.kana);
  assert.equal(await page.inputValue('input[name="email"]'), typed.email);
  assert.equal(await page.inputValue('input[name="tel"]'), typed.tel);
  assert.ok(await page.isChecked(`input[name="category"][value="${typed.category}"]`));
  assert.equal(await page.inputValue('select[name="pref"]'), typed.pref);
  assert.equal(await page.inputValue('textarea[name="message"]'), typed.message);
  assert.ok(await page.isChecked('input[name="newsletter"]'));
}

// A person takes longer than the form's minimum time (MinSeconds, 3 s by default) from
// opening the form to sending it; a bot that is quicker is refused.
async function afterMinimumTime(since) {
  const left = since + 3200 - Date.now();
  if (left > 0) await new Promise((resolve) => setTimeout(resolve, left));
}

// axe-core's violations of the page, one line each: rule, impact and the first element.
async function axeViolations(page) {
  await page.addScriptTag({ content: axeSource });
  return page.evaluate(async (tags) => {
    const result = await window.axe.run(document, { runOnly: { type: 'tag', values: tags } });
    return result.violations.map((v) => `${v.id} (${v.impact}): ${v.nodes[0].target.join(' ')}`);
  }, wcagTags);
}

// No WCAG 2.1 AA violation, and a page as wide as the screen: laid out at its width (a page
// without a viewport is laid out 980 px wide and shrunk on a phone) and nothing wider.
async function expectAccessible(page, label) {
  assert.deepEqual(await axeViolations(page), [], `${label}: axe-core violations`);
  const screen = page.viewportSize().width;
  const [layout, content] = await page.evaluate(() => [window.innerWidth, document.documentElement.scrollWidth]);
  assert.ok(layout === screen && content <= screen, `${label}: ${content} px of page, laid out ${layout} px wide on a ${screen} px screen`);
}

async function submitAndWait(page, selector) {
  await Promise.all([page.waitForNavigation(), page.click(selector)]);
}

// The mails on the preview's mail page, newest first.
async function readMails(page, url) {
  await page.goto(url);
  return page.$$eval('section.mail', (sections) => sections.map((s) => ({
    subject: s.querySelector('.subject').textContent,
    from: s.querySelector('[data-header="From"]').textContent,
    replyTo: s.querySelector('[data-header="Reply-To"]')?.textContent,
    to: s.querySelector('[data-header="To"]').textContent,
    args: s.querySelector('.args').textContent,
    body: s.querySelector('.body').textContent,
  })));
}

function expectMails(mails) {
  assert.equal(mails.length, 2, 'one mail to the site and one reply');
  const admin = mails.find((m) => m.to === 'info@example.com');
  const reply = mails.find((m) => m.to === typed.email);
  assert.ok(admin && reply, JSON.stringify(mails));
  assert.equal(admin.subject, `[お問い合わせ] ${typed.category} - ${typed.name} 様`);
  // From the site's own address, so that receiving servers accept it; replies go to the visitor.
  assert.equal(admin.from, 'info@example.com');
  assert.equal(admin.replyTo, typed.email);
  assert.match(admin.args, /-oi info@example\.com$/);
  for (const line of [`お名前=${typed.name}`, `フリガナ=${typed.kana}`, `電話番号=${typed.tel}`,
    `お問い合わせの種類=${typed.category}`, `お住まいの地域=${typed.pref}`,
    `メールマガジン=${typed.newsletter}`]) {
    assert.ok(admin.body.includes(line), `admin mail lacks "${line}":\n${admin.body}`);
  }
  assert.ok(admin.body.includes('見積もりをお願いします。\n納期は来月末です。<script>'), admin.body);
  assert.equal(reply.subject, 'お問い合わせありがとうございます（株式会社サンプル）');
  assert.equal(reply.from, 'info@example.com');
  assert.ok(reply.body.startsWith(`${typed.name} 様\n`), reply.body);
  assert.ok(reply.body.includes(`■お問い合わせの種類\n${typed.category}\n`), reply.body);
  assert.ok(reply.body.includes(typed.message), reply.body);
}

async function confirmFlow(context) {
  const preview = await startPreview(path.join(fixtures, 'contact.qpf'));
  const page = await context.newPage();
  const dialogs = [];
  page.on('dialog', (d) => { dialogs.push(d.message()); d.dismiss(); });
  try {
    await page.goto(preview.form);
    const opened = Date.now();
    assert.equal(await page.title(), 'お問い合わせ');
    await page.screenshot({ path: path.join(work, 'form.png'), fullPage: true });

    // Sent empty: the required fields' messages, and still the form.
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), 'お問い合わせ');
    const errors = await page.textContent('#error');
    for (const message of ['お名前を入力してください。', 'メールアドレスを入力してください。',
      'お問い合わせの種類を選んでください。', 'お問い合わせ内容を入力してください。']) {
      assert.ok(errors.includes(message), `missing "${message}" in: ${errors}`);
    }
    await page.screenshot({ path: path.join(work, 'errors.png'), fullPage: true });

    await fillForm(page);
    await afterMinimumTime(opened);
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), '入力内容の確認');
    const shown = await page.textContent('body');
    for (const value of [typed.name, typed.kana, typed.email, typed.tel, typed.category, typed.pref,
      '<script>window.__qpInjected = 1;', typed.newsletter]) {
      assert.ok(shown.includes(value), `confirmation page lacks "${value}"`);
    }
    // The typed markup is text: no element was made from it and nothing of it ran.
    assert.equal(await page.$$eval('body script', (s) => s.length), 0);
    assert.equal(await page.evaluate(() => window.__qpInjected), undefined);
    assert.equal(await page.title(), '入力内容の確認');
    await page.screenshot({ path: path.join(work, 'confirm.png'), fullPage: true });

    await submitAndWait(page, 'input[name="__action3__"]');
    assert.equal(await page.title(), 'お問い合わせ');
    await expectFormKeepsValues(page);

    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), '入力内容の確認');
    await submitAndWait(page, 'input[name="__action2__"]');
    assert.equal(await page.title(), '送信完了');

    const mails = await readMails(page, preview.mails);
    expectMails(mails);
    await page.screenshot({ path: path.join(work, 'mails.png'), fullPage: true });
    assert.deepEqual(dialogs, []);
  } finally {
    await page.close();
    assert.equal(await preview.stop(), 0, preview.log());
  }
}

// The visitor's whole flow on the HTML5 example, every page checked: the form, the error
// page (required fields empty, a bad address) with each message at its field, the
// confirmation page and the finish page.
async function accessibleFlow(context, device) {
  const preview = await startPreview(path.join(fixtures, 'contact.qpf'));
  const page = await context.newPage();
  try {
    await page.goto(preview.form);
    const opened = Date.now();
    await expectAccessible(page, `${device} form`);
    await page.screenshot({ path: path.join(work, `form-${device}.png`), fullPage: true });

    await page.fill('input[name="email"]', 'taro@');
    await page.fill('input[name="email_confirm"]', 'taro@');
    await submitAndWait(page, 'input[name="__action1__"]');
    await expectAccessible(page, `${device} errors`);
    const invalid = await page.$$eval('[aria-invalid="true"]', (fields) => [...new Set(fields.map((f) => f.name))]);
    assert.deepEqual(invalid, ['name', 'email', 'category', 'message']);
    assert.equal(await page.textContent('#email-error'), 'メールアドレスの形式が正しくありません。');
    assert.equal(await page.getAttribute('#email', 'aria-describedby'), 'email-error');
    assert.equal(await page.getAttribute('#error', 'role'), 'alert');
    // The summary leads to the field: following its link puts the cursor there.
    await page.click('#error a[href="#email"]');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'email');
    await page.screenshot({ path: path.join(work, `errors-${device}.png`), fullPage: true });

    await fillForm(page);
    await afterMinimumTime(opened);
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), '入力内容の確認');
    await expectAccessible(page, `${device} confirmation`);
    await page.screenshot({ path: path.join(work, `confirm-${device}.png`), fullPage: true });

    await submitAndWait(page, 'input[name="__action2__"]');
    assert.equal(await page.title(), '送信完了');
    await expectAccessible(page, `${device} finish`);
    expectMails(await readMails(page, preview.mails));
  } finally {
    await page.close();
    assert.equal(await preview.stop(), 0, preview.log());
  }
}

async function redirectFlow(context) {
  const project = projectVariant('redirect.qpf', [
    [/^UseConfirm=1\r$/m, 'UseConfirm=0\r'],
    [/^FinishPageMoveType=0\r$/m, 'FinishPageMoveType=1\r'],
    [/^FinishPageLocation=.*\r$/m, 'FinishPageLocation=/__mails__\r'],
  ]);
  const preview = await startPreview(project);
  const page = await context.newPage();
  try {
    await page.goto(preview.form);
    const opened = Date.now();
    await fillForm(page);
    await afterMinimumTime(opened);
    const redirects = [];
    page.on('response', (r) => { if (r.status() === 302) redirects.push(r.headers().location); });
    // No confirmation page: the first press sends, and the CGI sends the browser on.
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.deepEqual(redirects, [preview.mails]);
    assert.equal(page.url(), preview.mails);
    expectMails(await readMails(page, preview.mails));
  } finally {
    await page.close();
    assert.equal(await preview.stop(), 0, preview.log());
  }
}

// Characters beyond Shift_JIS typed in the form of either code reach the confirmation page
// and the mails unchanged (an EUC-JP page gets them from the browser as references).
async function beyondShiftJisFlow(context, code) {
  const project = code === 'UTF-8'
    ? projectVariant('utf8.qpf', [[/^(SendmailPath=.*\r)$/m, '$1\nCharset=UTF-8\r']])
    : path.join(fixtures, 'contact.qpf');
  const values = { name: '山田 😀𠮷', message: 'ご相談😀𠮷です。' };
  const preview = await startPreview(project);
  const page = await context.newPage();
  try {
    const response = await page.goto(preview.form);
    const opened = Date.now();
    assert.equal(response.headers()['content-type'], `text/html; charset=${code}`);
    await fillForm(page, values);
    await afterMinimumTime(opened);
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), '入力内容の確認', code);
    const shown = await page.textContent('body');
    for (const value of [values.name, values.message]) {
      assert.ok(shown.includes(value), `${code}: confirmation page lacks "${value}":\n${shown}`);
    }
    await submitAndWait(page, 'input[name="__action2__"]');
    assert.equal(await page.title(), '送信完了', code);
    const mails = await readMails(page, preview.mails);
    const admin = mails.find((m) => m.to === 'info@example.com');
    assert.ok(admin, JSON.stringify(mails));
    assert.equal(admin.subject, `[お問い合わせ] ${typed.category} - ${values.name} 様`, code);
    for (const line of [`お名前=${values.name}`, `お問い合わせ内容=${values.message}`]) {
      assert.ok(admin.body.includes(line), `${code}: admin mail lacks "${line}":\n${admin.body}`);
    }
    await page.screenshot({ path: path.join(work, `beyond-${code}.png`), fullPage: true });
  } finally {
    await page.close();
    assert.equal(await preview.stop(), 0, preview.log());
  }
}

// A bot fills every field it finds, the hidden one too: it is shown the finish page and
// nothing is sent.
async function honeypotFlow(context) {
  const preview = await startPreview(path.join(fixtures, 'contact.qpf'));
  const page = await context.newPage();
  try {
    await page.goto(preview.form);
    const opened = Date.now();
    const bait = page.locator('input[name="url"]');
    assert.equal(await bait.getAttribute('tabindex'), '-1');
    assert.ok((await bait.boundingBox()).x < 0, 'the field is off the screen');
    await fillForm(page);
    await bait.fill('http://spam.example/', { force: true });
    await afterMinimumTime(opened);
    await submitAndWait(page, 'input[name="__action1__"]');
    assert.equal(await page.title(), '送信完了');
    assert.deepEqual(await readMails(page, preview.mails), []);
  } finally {
    await page.close();
    assert.equal(await preview.stop(), 0, preview.log());
  }
}

// A new empty profile (--user-data-dir) and the flags that keep Chromium off the network;
// options for the screen (a phone's: 375 px wide, touch, the page's own viewport).
async function launch(profile, screen) {
  return chromium.launchPersistentContext(profile, {
    executablePath: chromiumPath,
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
    ...screen,
  });
}

async function phoneFlow() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'qp-e2e-phone-'));
  const phone = await launch(profile, {
    viewport: { width: 375, height: 667 }, deviceScaleFactor: 2, isMobile: true, hasTouch: true,
  });
  try {
    await accessibleFlow(phone, 'phone');
  } finally {
    await phone.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
}

async function main() {
  assert.ok(cli && fixtures && work, 'QP_CLI, QP_E2E_FIXTURES and QP_E2E_WORK must be set');
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'qp-e2e-profile-'));
  const context = await launch(profile, { viewport: { width: 1280, height: 800 } });
  try {
    await accessibleFlow(context, 'desktop');
    await phoneFlow();
    await confirmFlow(context);
    await redirectFlow(context);
    await beyondShiftJisFlow(context, 'EUC-JP');
    await beyondShiftJisFlow(context, 'UTF-8');
    await honeypotFlow(context);
  } finally {
    await context.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  console.log('preview e2e: passed');
}

main().catch((e) => {
  console.error(e);
  process.exit(1);
});
