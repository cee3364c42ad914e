"""The same work as a crawl with detail on, done by a Scrapy spider: every result page of
each search, then each company's contact page and its profile page; each company is
stored as one row of an SQLite file per search, committed one by one.

Run by scrapy_peer.sh, which passes the search URLs and the number of connections."""
import re
import sqlite3
import sys
import time

import scrapy
from scrapy.crawler import CrawlerProcess

ENTRY = re.compile(r'memberId="?([^" >]*)"?.*?<span[^>]*>(.*?)</span>', re.S)
LINK = re.compile(r'<a href="?([^" >]*)"?')
LI = re.compile(r'<li[^>]*>(.*?)</li>', re.S)
TAG = re.compile(r'<[^>]+>')


def text(html):
    return TAG.sub('', html).replace('&nbsp;', ' ').strip()


def link_after(marker, page):
    at = page.find(marker)
    if at < 0:
        return ''
    found = LINK.search(page, at)
    return found.group(1) if found else ''


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.files = {}
        self.rows = 0

    def add(self, task, values):
        db = self.files.get(task)
        if db is None:
            db = sqlite3.connect(f'{self.folder}/{task}.db')
            db.execute('PRAGMA journal_mode=WAL')
            db.execute('PRAGMA synchronous=NORMAL')
            db.execute('CREATE TABLE IF NOT EXISTS DataList (ID INTEGER PRIMARY KEY, MemberID TEXT,'
                       ' CompanyName TEXT, LinkMan TEXT, Items TEXT, Profile TEXT)')
            self.files[task] = db
        db.execute('INSERT INTO DataList (MemberID, CompanyName, LinkMan, Items, Profile)'
                   ' VALUES (?,?,?,?,?)', values)
        db.commit()
        self.rows += 1


class Companies(scrapy.Spider):
    name = 'companies'

    def __init__(self, searches, store, **kwargs):
        super().__init__(**kwargs)
        self.searches = searches
        self.store = store

    def start_requests(self):
        for task, url in enumerate(self.searches):
            yield scrapy.Request(url, callback=self.result_page, cb_kwargs={'task': task}, priority=10)

    def result_page(self, response, task):
        page = response.body.decode('gbk', 'replace')
        start = page.find('"batchForm"')
        end = page.find('</form>', start)
        block = page[start:end]
        for entry in block.split('"comparecheck"')[1:]:
            found = ENTRY.search(entry)
            contact = link_after('"feedback_phone"', entry)
            if not found or not contact:
                continue
            company = {'member': found.group(1), 'name': text(found.group(2))}
            yield response.follow(contact, callback=self.contact_page,
                                  cb_kwargs={'task': task, 'company': company})
        paging = page.find('"pages"')
        if paging >= 0:
            tail = page[paging:page.find('</h1>', paging)]
            current = tail.find('"currentpage"')
            following = LINK.search(tail.replace('href=', '<a href='), current) if current >= 0 else None
            if following:
                yield response.follow(following.group(1), callback=self.result_page,
                                      cb_kwargs={'task': task}, priority=10)

    def contact_page(self, response, task, company):
        page = response.body.decode('gbk', 'replace')
        profile = link_after('公司首页', page)
        if not profile:
            at = page.find('location.href=')
            if at >= 0:
                quote = page.find("'", at) + 1
                profile = page[quote:page.find("'", quote)]
        items = [text(li) for li in LI.findall(page)]
        company['person'] = items[1] if len(items) > 1 else ''
        company['items'] = '|'.join(items)
        if profile:
            yield response.follow(profile, callback=self.profile_page,
                                  cb_kwargs={'task': task, 'company': company}, priority=5)

    def profile_page(self, response, task, company):
        page = response.body.decode('gbk', 'replace')
        intro = page.find('<span class="S">')
        profile = text(page[intro:page.find('</span>', intro + 1)]) if intro >= 0 else ''
        self.store.add(task, (company['member'], company['name'], company['person'],
                              company['items'], profile))


def main():
    connections, folder, searches = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    store = Store(folder)
    process = CrawlerProcess(settings={
        'LOG_LEVEL': 'WARNING',
        'ROBOTSTXT_OBEY': False,
        'COOKIES_ENABLED': True,
        'CONCURRENT_REQUESTS': connections,
        'CONCURRENT_REQUESTS_PER_DOMAIN': connections,
        'CONCURRENT_REQUESTS_PER_IP': 0,
        'DOWNLOAD_DELAY': 0,
        'RETRY_TIMES': 5,
        'TELNETCONSOLE_ENABLED': False,
        'AUTOTHROTTLE_ENABLED': False,
        'REQUEST_FINGERPRINTER_IMPLEMENTATION': '2.7',
    })
    process.crawl(Companies, searches=searches, store=store)
    started = time.monotonic()
    process.start()
    seconds = time.monotonic() - started
    print(f'scrapy: {store.rows} companies stored in {seconds:.2f} s = {store.rows / seconds:.1f} companies/s')


if __name__ == '__main__':
    main()
